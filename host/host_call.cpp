#include "host/host_call.h"

#include "common/com_apartment.h"
#include "common/own_module.h"
#include "dialog/capture_dialog.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

const char kHomepage[] = "https://pixmerle.example.org/";

HWND HostMainWnd = nullptr;

void OpenHomepage() {
    const ComApartment com;
    ShellExecuteA(nullptr, "Open", kHomepage, nullptr, nullptr, SW_SHOWDEFAULT);
}

namespace {

std::atomic<int> runningActions{0};
std::mutex openedMutex;
std::vector<HWND> opened;  // top-level windows of running actions, oldest first

thread_local int actionDepth = 0;
thread_local HHOOK windowHook = nullptr;

LRESULT CALLBACK NoteWindow(int code, WPARAM wParam, LPARAM lParam) {
    try {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (code == HCBT_CREATEWND) {
            const auto* create = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
            if (!(create->lpcs->style & WS_CHILD)) {
                const std::lock_guard<std::mutex> lock(openedMutex);
                opened.push_back(window);
            }
        } else if (code == HCBT_DESTROYWND) {
            const std::lock_guard<std::mutex> lock(openedMutex);
            opened.erase(std::remove(opened.begin(), opened.end(), window), opened.end());
        }
    } catch (...) {
        // Out of memory: that window goes unnoted.
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

size_t WindowsLeft() noexcept {
    try {
        const std::lock_guard<std::mutex> lock(openedMutex);
        return opened.size();
    } catch (...) {
        return 0;
    }
}

}  // namespace

HostAction::HostAction() noexcept {
    KeepOwnModuleLoaded();
    ++runningActions;
    if (actionDepth++ == 0) windowHook = SetWindowsHookExA(WH_CBT, NoteWindow, nullptr, GetCurrentThreadId());
}

HostAction::~HostAction() {
    if (--actionDepth == 0 && windowHook) {
        UnhookWindowsHookEx(windowHook);
        windowHook = nullptr;
    }
    --runningActions;
}

void CloseActionWindows() noexcept {
    std::vector<HWND> windows;
    try {
        const std::lock_guard<std::mutex> lock(openedMutex);
        windows = opened;
    } catch (...) {
        return;
    }
    const HWND dialog = OpenCaptureDialog();
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        if (*window == dialog)
            PostMessageA(*window, WM_CLOSE, 0, 0);
        else
            PostMessageA(*window, WM_COMMAND, IDCANCEL, 0);
    }
}

bool EndActions(DWORD quietMs) noexcept {
    // A closing window may take seconds to hand the activation back to its
    // owner (Wine without a window manager takes two), so the wait restarts
    // whenever fewer windows or actions are left than ever before. Both
    // counts only fall to zero, so the whole wait stays bounded.
    size_t fewestLeft = SIZE_MAX;
    DWORD lastProgress = GetTickCount();
    for (;;) {
        const int actions = runningActions;
        if (actions == 0) return true;
        const size_t left = static_cast<size_t>(actions) + WindowsLeft();
        if (left < fewestLeft) {
            fewestLeft = left;
            lastProgress = GetTickCount();
        } else if (GetTickCount() - lastProgress >= quietMs) {
            return false;
        }
        CloseActionWindows();
        Sleep(50);
    }
}
