#include "tools/host_simulator/demo.h"

#include "common/handles.h"
#include "resources/resource_ids.h"

#include <cstdio>
#include <set>

namespace {

constexpr char kDialogTitle[] = "  Pixmerle 1.1.7";
constexpr char kSampleClass[] = "PixmerleDemoSample";
constexpr RECT kSampleRect{40, 500, 360, 700};

LRESULT CALLBACK SampleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const COLORREF colours[] = {RGB(220, 40, 40), RGB(40, 160, 60), RGB(40, 80, 220), RGB(240, 200, 40)};
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        RECT part{quadrant % 2 ? client.right / 2 : 0, quadrant / 2 ? client.bottom / 2 : 0,
                  quadrant % 2 ? client.right : client.right / 2, quadrant / 2 ? client.bottom : client.bottom / 2};
        const UniqueBrush brush(CreateSolidBrush(colours[quadrant]));
        FillRect(dc, &part, brush.get());
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, "Pixmerle demo window", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
    return 0;
}

HWND CreateSample() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SampleProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kSampleClass;
    RegisterClassA(&windowClass);
    return CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kSampleClass, "Pixmerle demo window",
                           WS_POPUP | WS_VISIBLE, kSampleRect.left, kSampleRect.top,
                           kSampleRect.right - kSampleRect.left, kSampleRect.bottom - kSampleRect.top, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void MoveMouse(POINT point, DWORD buttons = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = point.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = point.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &input, sizeof input);
}

POINT CentreOf(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

HWND WaitForDialog(DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        HWND dialog = FindWindowA("#32770", kDialogTitle);
        if (dialog && IsWindowVisible(dialog)) return dialog;
        Sleep(50);
    }
    return nullptr;
}

// A point of the dialog that no control covers, so the dialog itself is
// the window there.
POINT BareSpotOf(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    for (int y = client.bottom - 4; y > 4; y -= 3) {
        for (int x = client.right - 4; x > 4; x -= 3) {
            POINT point{x, y};
            if (ChildWindowFromPointEx(dialog, point, CWP_ALL) == dialog) {
                ClientToScreen(dialog, &point);
                return point;
            }
        }
    }
    return CentreOf(dialog);
}

double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Where the host's windows go, one below the other.
struct HostWindowsMove {
    DWORD process;
    LONG left;
    LONG top;
};

BOOL CALLBACK MoveHostWindow(HWND window, LPARAM data) {
    auto& moving = *reinterpret_cast<HostWindowsMove*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != moving.process || !IsWindowVisible(window)) return TRUE;
    RECT rect;
    GetWindowRect(window, &rect);
    SetWindowPos(window, nullptr, moving.left, moving.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    moving.top += rect.bottom - rect.top + 8;
    return TRUE;
}

// A capture's file: a temporary name until it is complete.
std::string NewCapture(const std::string& folder, const std::set<std::string>& before) {
    for (const std::string& name : FilesIn(folder))
        if (!before.count(name) && name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") != 0)
            return folder + "\\" + name;
    return {};
}

// What a user does in the dialog: tick "Save capture to :", give the folder,
// drag the finder onto the target (the sample window, the dialog itself or
// the bench's window), take the capture, exit.
bool DriveDialog(const std::string& folder, const DemoPlan& plan) {
    const bool targetIsDialog = plan.target == DemoTarget::Dialog;
    HWND dialog = WaitForDialog(60000);
    HWND sample = plan.target == DemoTarget::Bench ? FindWindowA(nullptr, "Pixmerle PNG bench")
                                                   : FindWindowA(kSampleClass, nullptr);
    if (!dialog || !sample) return false;
    if (plan.target == DemoTarget::Bench) {
        // The host's windows, the dialog among them, go beside the bench's
        // window: over it, they would be in the picture.
        HostWindowsMove moving{0, 0, 0};
        GetWindowThreadProcessId(dialog, &moving.process);
        RECT target;
        GetWindowRect(sample, &target);
        moving.left = target.right + 8;
        EnumWindows(MoveHostWindow, reinterpret_cast<LPARAM>(&moving));
        Sleep(300);
    }
    const std::set<std::string> before = FilesIn(folder);
    DWORD_PTR ignored;
    if (SendDlgItemMessageA(dialog, IDC_SAVE_TO_FOLDER, BM_GETCHECK, 0, 0) != BST_CHECKED)
        SendMessageTimeoutA(GetDlgItem(dialog, IDC_SAVE_TO_FOLDER), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);

    const POINT start = CentreOf(GetDlgItem(dialog, IDC_FINDER));
    const POINT end = targetIsDialog ? BareSpotOf(dialog) : CentreOf(sample);
    MoveMouse(start);
    Sleep(200);
    MoveMouse(start, MOUSEEVENTF_LEFTDOWN);
    Sleep(300);
    constexpr int kSteps = 12;
    for (int step = 1; step <= kSteps; ++step) {
        MoveMouse({start.x + (end.x - start.x) * step / kSteps, start.y + (end.y - start.y) * step / kSteps});
        Sleep(80);
    }
    Sleep(400);
    MoveMouse(end, MOUSEEVENTF_LEFTUP);
    Sleep(400);

    std::string written;
    FILE* timings = plan.timings.empty() ? nullptr : std::fopen(plan.timings.c_str(), "w");
    for (int run = 0; run < plan.runs; ++run) {
        const std::set<std::string> known = FilesIn(folder);
        const double clicked = NowMs();
        PostMessageA(GetDlgItem(dialog, IDC_TAKE_CAPTURE), BM_CLICK, 0, 0);
        std::string file;
        while (file.empty() && NowMs() - clicked < 30000) {
            Sleep(timings ? 1 : 100);
            file = NewCapture(folder, known);
        }
        if (timings && !file.empty()) std::fprintf(timings, "%.1f\n", NowMs() - clicked);
        if (!file.empty()) written = file;
        Sleep(800);  // the dialog pauses after a capture before it answers again
    }
    if (timings) std::fclose(timings);
    PostMessageA(GetDlgItem(dialog, IDC_EXIT), BM_CLICK, 0, 0);
    return !written.empty() && !NewCapture(folder, before).empty();
}

}  // namespace

std::string RunDemo(PluginHost& host, const std::string& folder, const DemoPlan& plan) {
    // The bench shows its own window.
    HWND sample = plan.target == DemoTarget::Bench ? nullptr : CreateSample();
    if (!sample && plan.target != DemoTarget::Bench) return {};
    ScopeExit destroySample([sample] {
        if (sample) DestroyWindow(sample);
    });
    if (sample) UpdateWindow(sample);
    const std::set<std::string> before = FilesIn(folder);

    // The user is a process of its own, as a real one would be; it also keeps
    // the host single-threaded, which 32-bit Wine under qemu-user needs for
    // the plug-in's debug output at unload.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" --drive-demo \"" + folder + "\"" +
                              (plan.target == DemoTarget::Dialog  ? " --target dialog"
                               : plan.target == DemoTarget::Bench ? " --target bench"
                                                                  : "") +
                              " --runs " + std::to_string(plan.runs) +
                              (plan.timings.empty() ? "" : " --timings \"" + plan.timings + "\"");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION user{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &user))
        return {};
    const UniqueHandle userProcess(user.hProcess), userThread(user.hThread);
    host.StartPlugin();
    WaitForSingleObject(userProcess.get(), 60000 + DWORD(plan.runs) * 5000);
    DWORD userResult = 1;
    GetExitCodeProcess(userProcess.get(), &userResult);

    if (userResult != 0) return {};
    for (const std::string& name : FilesIn(folder))
        if (!before.count(name)) return folder + "\\" + name;
    return {};
}

int DriveDemo(const std::string& folder, const DemoPlan& plan) { return DriveDialog(folder, plan) ? 0 : 1; }
