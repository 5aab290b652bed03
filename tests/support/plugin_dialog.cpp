#include "tests/support/plugin_dialog.h"

#include "resources/resource_ids.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr char kDialogTitle[] = "  Pixmerle 1.1.7";

std::vector<HWND> Dialogs(bool capture) {
    std::vector<HWND> found;
    for (HWND dialog : VisibleDialogs())
        if ((WindowTitle(dialog) == kDialogTitle) == capture) found.push_back(dialog);
    return found;
}

void AskToEnd(HWND dialog, Ending ending) {
    switch (ending) {
    case Ending::ExitButton: ClickButton(dialog, IDC_EXIT); break;
    case Ending::CloseBox: PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case Ending::CloseMessage: PostMessageA(dialog, WM_CLOSE, 0, 0); break;
    }
}

}  // namespace

std::vector<HWND> CaptureDialogs() { return Dialogs(true); }

HWND OtherDialog() {
    const std::vector<HWND> others = Dialogs(false);
    return others.empty() ? nullptr : others.front();
}

HWND WaitForOtherDialog(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = OtherDialog()) != nullptr; }, timeoutMs);
    return found;
}

POINT Centre(const RECT& rect) { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

void SendMouse(DWORD flags, POINT at) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Normalised coordinates of the pixel's middle, so that rounding down lands on it.
    input.mi.dx = LONG((int64_t(at.x) * 2 + 1) * 32768 / ScreenWidth());
    input.mi.dy = LONG((int64_t(at.y) * 2 + 1) * 32768 / ScreenHeight());
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

// ---------------------------------------------------------------- dialog

bool CaptureDialog::Ticked(int id) const {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(Item(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kStepMs, &state);
    return state == BST_CHECKED;
}

std::string CaptureDialog::Folder() const { return WindowText(Item(IDC_FOLDER_EDIT)); }

void CaptureDialog::SetFolder(const std::string& text) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(Item(IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, kStepMs, &ignored);
}

bool CaptureDialog::Click(int id) {
    ClickButton(hwnd_, id);
    return probe_.Ping();
}

bool CaptureDialog::CaptureIntoFolder(const std::string& folder) {
    if (!Ticked(IDC_SAVE_TO_FOLDER) && !Click(IDC_SAVE_TO_FOLDER)) return false;
    SetFolder(folder);
    return Ticked(IDC_SAVE_TO_FOLDER) && Folder() == folder;
}

GUITHREADINFO CaptureDialog::ThreadInfo() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd_, nullptr), &info);
    return info;
}

bool CaptureDialog::MoveMouse(POINT point) {
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, point);
    return WaitUntil([&] {
        POINT cursor{};
        return GetCursorPos(&cursor) && cursor.x == point.x && cursor.y == point.y;
    });
}

bool CaptureDialog::PressFinder() {
    if (!MoveMouse(Centre(ItemRect(IDC_FINDER)))) return false;
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    buttonDown_ = true;
    return WaitUntil([&] { return Capture() == hwnd_; });
}

bool CaptureDialog::ReleaseButton() {
    if (!buttonDown_) return true;
    SendMouse(MOUSEEVENTF_LEFTUP);
    buttonDown_ = false;
    // Losing the capture erases the outline; the probe answers only once
    // that is on the screen, so a capture taken next cannot show it.
    return WaitUntil([&] { return Capture() == nullptr; }) && probe_.Ping();
}

bool CaptureDialog::DragTo(POINT point, const std::function<void()>& beforeRelease) {
    const bool dragging = PressFinder();
    if (!buttonDown_) return false;  // the mouse never got to the finder
    const bool moved = dragging && MoveTo(point);
    if (beforeRelease) beforeRelease();
    const bool released = ReleaseButton();
    return dragging && moved && released;
}

bool CaptureDialog::TakeCapture() {
    ClickButton(hwnd_, IDC_TAKE_CAPTURE);
    return probe_.Ping() && WaitUntil([&] { return Visible(); }) && Settle();
}

void ExpectOptions(const CaptureDialog& dialog, bool toFolder, bool hide, const std::string& folder) {
    EXPECT_EQ(dialog.Ticked(IDC_SAVE_TO_FOLDER), toFolder) << "'Save capture to :'";
    EXPECT_EQ(dialog.Ticked(IDC_HIDE_ON_CAPTURE), hide) << "'Hide app on capture'";
    EXPECT_EQ(dialog.Folder(), folder);
}

// ---------------------------------------------------------------- running it

INT_PTR RunPluginDialog(const std::function<INT_PTR()>& start, const std::function<void(CaptureDialog&)>& script,
                        Ending ending) {
    LoopProbe probe;
    std::atomic<bool> returned{false};
    std::atomic<HWND> seen{nullptr};
    DialogDriver driver([&] {
        HWND hwnd = nullptr;
        WaitUntil([&] {
            const std::vector<HWND> open = CaptureDialogs();
            if (!open.empty()) hwnd = open.front();
            return returned || hwnd != nullptr;
        }, kShellDialogMs);
        if (!hwnd) {
            ADD_FAILURE() << "the capture dialog did not show";
            return;
        }
        seen = hwnd;
        CaptureDialog dialog(hwnd, probe);
        EXPECT_TRUE(dialog.Settle()) << "the dialog's loop does not dispatch";
        script(dialog);
        AskToEnd(hwnd, ending);
        if (WaitUntil([&] { return returned.load(); })) return;
        ADD_FAILURE() << "the dialog did not end";
        // Whatever else is open goes, every capture dialog included.
        if (WaitUntil([&] {
                if (HWND other = OtherDialog()) PostMessageA(other, WM_COMMAND, IDCANCEL, 0);
                for (HWND open : CaptureDialogs()) PostMessageA(open, WM_CLOSE, 0, 0);
                return returned.load();
            }, 2 * kStepMs))
            return;
        // The test's thread is stuck in the dialog: fail now, not at the run's timeout.
        std::printf("capture dialog hangs: giving up\n");
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    });
    const INT_PTR result = start();
    returned = true;
    EXPECT_TRUE(driver.Finish(Bound(300000))) << "the driver did not finish";
    if (seen) {
        EXPECT_FALSE(IsWindow(seen)) << "the dialog window outlived the entry point";
    }
    return result;
}
