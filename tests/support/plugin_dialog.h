#pragma once
// The real plug-in's capture dialog, started on the test's thread through an
// entry point the way a host starts it, and played by a driver thread with
// real mouse input and clicks.
#include "tests/support/loop_probe.h"
#include "tests/support/settings_file.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The capture dialogs of this process that are visible now.
std::vector<HWND> CaptureDialogs();
// A visible dialog box of this process other than the capture dialogs.
HWND OtherDialog();
HWND WaitForOtherDialog(DWORD timeoutMs = kShellDialogMs);

POINT Centre(const RECT& rect);
RECT WindowRect(HWND window);
// Real mouse input, at a screen pixel for absolute moves.
void SendMouse(DWORD flags, POINT at = POINT{0, 0});

// The running capture dialog as the driver thread sees and handles it.
class CaptureDialog {
public:
    CaptureDialog(HWND hwnd, LoopProbe& probe) : hwnd_(hwnd), probe_(probe) {}

    HWND hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
    RECT ItemRect(int id) const { return WindowRect(Item(id)); }
    bool Visible() const { return IsWindowVisible(hwnd_) != FALSE; }
    LoopProbe& probe() { return probe_; }

    bool Ticked(int id) const;
    std::string Folder() const;
    void SetFolder(const std::string& text);
    // A click the way the user's click comes, waited for until handled.
    bool Click(int id);
    // Handled, and whatever it drew pushed to the screen: the loop has gone
    // idle at least once since.
    bool Settle() { return probe_.Ping() && probe_.Ping(); }
    // Ticks "Save capture to :" and puts the folder into the edit, without
    // storing anything in the settings file.
    bool CaptureIntoFolder(const std::string& folder);

    HWND Focus() const { return ThreadInfo().hwndFocus; }
    HWND Capture() const { return ThreadInfo().hwndCapture; }

    bool MoveMouse(POINT point);
    // Presses the left button on the finder: the drag begins.
    bool PressFinder();
    bool MoveTo(POINT point) { return MoveMouse(point) && probe_.Ping(); }
    bool ReleaseButton();
    // Drags the finder onto the point and lets go there, after
    // `beforeRelease` if given.
    bool DragTo(POINT point, const std::function<void()>& beforeRelease = {});
    // Presses "Take Screen Capture" and waits until the dialog is back.
    bool TakeCapture();

private:
    GUITHREADINFO ThreadInfo() const;

    HWND hwnd_;
    LoopProbe& probe_;
    bool buttonDown_ = false;
};

void ExpectOptions(const CaptureDialog& dialog, bool toFolder, bool hide, const std::string& folder);

enum class Ending { ExitButton, CloseBox, CloseMessage };

// Starts the dialog through `start` on this thread; once the dialog shows,
// `script` runs on a driver thread, which then ends the dialog the chosen
// way. Whatever stays open is closed so that the test's thread gets free.
// Gives what `start` returned.
INT_PTR RunPluginDialog(const std::function<INT_PTR()>& start, const std::function<void(CaptureDialog&)>& script,
                        Ending ending = Ending::ExitButton);
