#pragma once
// The real plug-in's capture dialog, started on the test's thread through an
// entry point the way a host starts it, and played by a driver thread with
// real mouse input and clicks.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

constexpr DWORD kStepMs = 30000;

// The capture dialogs of this process that are visible now.
std::vector<HWND> CaptureDialogs();
// A visible dialog box of this process other than the capture dialogs.
HWND OtherDialog();

// A window of the test's thread, so served by whatever message loop that
// thread runs. Its repaint comes only after every message posted and every
// input queued before it, so answering one shows the loop has handled them.
class LoopProbe {
public:
    LoopProbe();
    ~LoopProbe();
    LoopProbe(const LoopProbe&) = delete;
    LoopProbe& operator=(const LoopProbe&) = delete;
    HWND hwnd() const { return hwnd_; }
    // From another thread: true once the loop came round to the repaint.
    bool Ping(DWORD timeoutMs = kStepMs);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
    HANDLE painted_ = nullptr;
};

// The running capture dialog as the driver thread sees and handles it.
class CaptureDialog {
public:
    CaptureDialog(HWND hwnd, LoopProbe& probe) : hwnd_(hwnd), probe_(probe) {}
    HWND hwnd() const { return hwnd_; }
    bool Visible() const { return IsWindowVisible(hwnd_) != FALSE; }
    bool Ticked(int id) const;
    std::string Folder() const;
    // Handled, and whatever it drew pushed to the screen.
    bool Settle() { return probe_.Ping() && probe_.Ping(); }
    // Clicks a control and waits until the dialog has dealt with it.
    bool Click(int id);
    void SetFolder(const std::string& text);
    // Ticks "Save capture to :" and puts the folder into the edit, without
    // storing anything in the settings file.
    bool CaptureIntoFolder(const std::string& folder);
    // Drags the finder with the real mouse onto the point and lets go there,
    // after `beforeRelease` if given.
    bool DragTo(POINT point, const std::function<void()>& beforeRelease = {});
    // Presses "Take Screen Capture" and waits until the dialog is back.
    bool TakeCapture();

private:
    bool MoveMouse(POINT point);
    HWND Capture() const;

    HWND hwnd_;
    LoopProbe& probe_;
};

// Starts the dialog through `start` on this thread; once the dialog shows,
// `script` runs on a driver thread, which then presses Exit. Whatever stays
// open is closed so that the test's thread gets free. Gives what `start`
// returned.
INT_PTR RunPluginDialog(const std::function<INT_PTR()>& start, const std::function<void(CaptureDialog&)>& script);

// The plug-in loaded from the test program's folder; fails the test if not.
void ExpectPluginFromProgramFolder();

POINT Centre(const RECT& rect);
RECT WindowRect(HWND window);
