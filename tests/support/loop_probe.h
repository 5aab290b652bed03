#pragma once
// A window of the test's thread, so served by whatever message loop that
// thread runs. Its repaint comes only after every message posted and every
// input queued before it, so answering one shows the loop has handled them,
// and it answers only once what they drew is on the screen. On request it
// takes the mouse capture, and it notes the moves it gets.
#include "common/handles.h"
#include "tests/support/dialog_driver.h"

#include <windows.h>

#include <atomic>

class LoopProbe {
public:
    LoopProbe();
    ~LoopProbe();
    LoopProbe(const LoopProbe&) = delete;
    LoopProbe& operator=(const LoopProbe&) = delete;

    HWND hwnd() const { return hwnd_; }
    // From another thread: true once the loop came round to the repaint and
    // its drawing is on the screen.
    bool Ping(DWORD timeoutMs = kStepMs);
    void GrabCapture();
    bool WaitForMoveAt(POINT point);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    UniqueHandle painted_;
    std::atomic<LONG> moveX_;
    std::atomic<LONG> moveY_;
};
