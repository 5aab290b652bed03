#pragma once
// Drives modal dialogs of this process from a second thread while the test's
// own thread sits in the dialog's modal loop.
#include "tests/support/wait_bounds.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Polls until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kStepMs);

// Every visible dialog box (#32770) of this process, topmost first.
std::vector<HWND> VisibleDialogs();
// The visible dialog box (#32770) owned by the given window, waited for up
// to the timeout; null when none came.
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs);
// Any visible dialog box of this process other than the given one.
HWND WaitForAnyDialog(DWORD timeoutMs);
std::string WindowText(HWND window);
// The title the window manager holds for a window, read without a message:
// a dialog is known by it even while its thread is busy.
std::string WindowTitle(HWND window);
// Clicks a button of a dialog the way a user's click does.
void ClickButton(HWND dialog, int id);

// Runs an action on its own thread; joining gives up after a timeout, then
// cancels every dialog of the process so the test's thread gets free.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void()> action);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;
    bool Finish(DWORD timeoutMs = kShellDialogMs);

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};
