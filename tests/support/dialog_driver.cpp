#include "tests/support/dialog_driver.h"

namespace {

struct Search {
    HWND owner;
    bool anyOwner;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || std::string(className) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    if (search->anyOwner || GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitFor(Search search, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        search.found = nullptr;
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            Sleep(300);  // let it finish initialising its controls
            return search.found;
        }
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) { return WaitFor(Search{owner, false, nullptr}, timeoutMs); }

HWND WaitForAnyDialog(DWORD timeoutMs) { return WaitFor(Search{nullptr, true, nullptr}, timeoutMs); }

std::string WindowText(HWND window) {
    char text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &length);
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
