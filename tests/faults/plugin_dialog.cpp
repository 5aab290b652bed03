#include "tests/faults/plugin_dialog.h"

#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr char kDialogTitle[] = "  Pixmerle 1.1.7";
constexpr char kPluginFile[] = "Pixmerle_1_1_7.dll";

struct DialogList {
    bool capture;
    std::vector<HWND> found;
};

BOOL CALLBACK ListDialogs(HWND window, LPARAM param) {
    auto* list = reinterpret_cast<DialogList*>(param);
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof(cls));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || std::string(cls) != "#32770" || !IsWindowVisible(window)) return TRUE;
    if ((WindowText(window) == kDialogTitle) == list->capture) list->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Dialogs(bool capture) {
    DialogList list{capture, {}};
    EnumWindows(ListDialogs, reinterpret_cast<LPARAM>(&list));
    return list.found;
}

void SendMouse(DWORD flags, POINT at = POINT{0, 0}) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Normalised coordinates of the pixel's middle, so that rounding down lands on it.
    input.mi.dx = LONG((int64_t(at.x) * 2 + 1) * 32768 / ScreenWidth());
    input.mi.dy = LONG((int64_t(at.y) * 2 + 1) * 32768 / ScreenHeight());
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

}  // namespace

std::vector<HWND> CaptureDialogs() { return Dialogs(true); }

HWND OtherDialog() {
    const std::vector<HWND> others = Dialogs(false);
    return others.empty() ? nullptr : others.front();
}

POINT Centre(const RECT& rect) { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// ---------------------------------------------------------------- probe

LoopProbe::LoopProbe() {
    static const ATOM registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "PixmerleFaultProbe";
        return RegisterClassA(&wc);
    }();
    (void)registered;
    painted_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // One pixel in the screen's corner, clear of every window under test.
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "PixmerleFaultProbe", "probe", WS_POPUP,
                            ScreenWidth() - 1, ScreenHeight() - 1, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr),
                            nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(painted_));
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    PumpMessages(30);
}

LoopProbe::~LoopProbe() {
    DestroyWindow(hwnd_);
    CloseHandle(painted_);
}

bool LoopProbe::Ping(DWORD timeoutMs) {
    ResetEvent(painted_);
    InvalidateRect(hwnd_, nullptr, FALSE);
    return WaitForSingleObject(painted_, timeoutMs) == WAIT_OBJECT_0;
}

LRESULT CALLBACK LoopProbe::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        if (HANDLE painted = reinterpret_cast<HANDLE>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) SetEvent(painted);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------- dialog

bool CaptureDialog::Ticked(int id) const {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(GetDlgItem(hwnd_, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kStepMs, &state);
    return state == BST_CHECKED;
}

std::string CaptureDialog::Folder() const { return WindowText(GetDlgItem(hwnd_, IDC_FOLDER_EDIT)); }

bool CaptureDialog::Click(int id) {
    ClickButton(hwnd_, id);
    return probe_.Ping();
}

void CaptureDialog::SetFolder(const std::string& text) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(GetDlgItem(hwnd_, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, kStepMs, &ignored);
}

bool CaptureDialog::CaptureIntoFolder(const std::string& folder) {
    if (!Ticked(IDC_SAVE_TO_FOLDER) && !Click(IDC_SAVE_TO_FOLDER)) return false;
    SetFolder(folder);
    return Ticked(IDC_SAVE_TO_FOLDER) && Folder() == folder;
}

HWND CaptureDialog::Capture() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd_, nullptr), &info);
    return info.hwndCapture;
}

bool CaptureDialog::MoveMouse(POINT point) {
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, point);
    return WaitUntil([&] {
        POINT cursor{};
        return GetCursorPos(&cursor) && cursor.x == point.x && cursor.y == point.y;
    }, kStepMs);
}

bool CaptureDialog::DragTo(POINT point, const std::function<void()>& beforeRelease) {
    if (!MoveMouse(Centre(WindowRect(GetDlgItem(hwnd_, IDC_FINDER))))) return false;
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    const bool dragging = WaitUntil([&] { return Capture() == hwnd_; }, kStepMs);
    const bool moved = dragging && MoveMouse(point) && probe_.Ping();
    if (beforeRelease) beforeRelease();
    SendMouse(MOUSEEVENTF_LEFTUP);
    const bool released = WaitUntil([&] { return Capture() == nullptr; }, kStepMs) && probe_.Ping();
    return dragging && moved && released;
}

bool CaptureDialog::TakeCapture() {
    ClickButton(hwnd_, IDC_TAKE_CAPTURE);
    return probe_.Ping() && WaitUntil([&] { return Visible(); }, kStepMs) && Settle();
}

// ---------------------------------------------------------------- running it

void ExpectPluginFromProgramFolder() {
    ASSERT_NE(PluginModule(), nullptr) << kPluginFile << " did not load";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(PluginModule(), path, MAX_PATH);
    ASSERT_EQ(lstrcmpiA(path, (ProgramFolder() + kPluginFile).c_str()), 0) << "loaded from " << path;
}

INT_PTR RunPluginDialog(const std::function<INT_PTR()>& start, const std::function<void(CaptureDialog&)>& script) {
    LoopProbe probe;
    std::atomic<bool> returned{false};
    std::atomic<HWND> seen{nullptr};
    DialogDriver driver([&] {
        HWND hwnd = nullptr;
        WaitUntil([&] {
            const std::vector<HWND> open = CaptureDialogs();
            if (!open.empty()) hwnd = open.front();
            return returned || hwnd != nullptr;
        }, 120000);
        if (!hwnd) {
            ADD_FAILURE() << "the capture dialog did not show";
            return;
        }
        seen = hwnd;
        CaptureDialog dialog(hwnd, probe);
        EXPECT_TRUE(dialog.Settle()) << "the dialog's loop does not dispatch";
        script(dialog);
        ClickButton(hwnd, IDC_EXIT);
        if (WaitUntil([&] { return returned.load(); }, kStepMs)) return;
        ADD_FAILURE() << "the dialog did not end on Exit";
        // Whatever else is open goes, every capture dialog included.
        if (WaitUntil([&] {
                if (HWND other = OtherDialog()) PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
                for (HWND open : CaptureDialogs()) PostMessageA(open, WM_CLOSE, 0, 0);
                return returned.load();
            }, 60000))
            return;
        // The test's thread is stuck in the dialog: fail now, not at the run's timeout.
        std::printf("capture dialog hangs: giving up\n");
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    });
    const INT_PTR result = start();
    returned = true;
    EXPECT_TRUE(driver.Finish(300000)) << "the driver did not finish";
    if (seen) {
        EXPECT_FALSE(IsWindow(seen)) << "the dialog window outlived the entry point";
    }
    return result;
}
