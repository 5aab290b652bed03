#include "tests/support/dialog_driver.h"

namespace {

BOOL CALLBACK ListDialog(HWND window, LPARAM param) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && std::string(className) == "#32770" && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

HWND WaitFor(const std::function<bool(HWND)>& wanted, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        for (HWND dialog : VisibleDialogs()) {
            if (wanted(dialog)) {
                Sleep(300);  // let it finish initialising its controls
                return dialog;
            }
        }
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

std::vector<HWND> VisibleDialogs() {
    std::vector<HWND> found;
    EnumWindows(ListDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
    return WaitFor([owner](HWND dialog) { return GetWindow(dialog, GW_OWNER) == owner; }, timeoutMs);
}

HWND WaitForAnyDialog(DWORD timeoutMs) { return WaitFor([](HWND) { return true; }, timeoutMs); }

std::string WindowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kAnswerMs,
                        &length);
    return text;
}

std::string WindowTitle(HWND window) {
    wchar_t title[256] = {};
    const int length = InternalGetWindowText(window, title, 256);
    char text[512] = {};
    WideCharToMultiByte(CP_ACP, 0, title, length, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

void ClickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button) PostMessageA(button, BM_CLICK, 0, 0);
}

DialogDriver::DialogDriver(std::function<void()> action)
    : thread_([this, action] {
          action();
          done_ = true;
      }) {}

DialogDriver::~DialogDriver() { Finish(); }

bool DialogDriver::Finish(DWORD timeoutMs) {
    if (!thread_.joinable()) return true;
    const DWORD start = GetTickCount();
    while (!done_ && GetTickCount() - start < timeoutMs) Sleep(20);
    const bool finished = done_;
    while (!done_) {
        if (HWND stray = WaitForAnyDialog(200)) PostMessageA(stray, WM_COMMAND, IDCANCEL, 0);
    }
    thread_.join();
    return finished;
}
