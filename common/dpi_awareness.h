#pragma once
// Physical pixels for DPI-unaware hosts. While a PerMonitorDpiScope lives,
// the calling thread is per-monitor DPI aware, so cursor positions, window
// rectangles, screen metrics and screen device contexts all speak physical
// pixels; an unaware thread would get scaled (virtualized) answers, while
// reading the screen gives physical pixels. Where Windows has no per-thread
// awareness (before Windows 10 version 1607) nothing changes.
//
// Create no window while a scope lives: a window takes the awareness of the
// thread that creates it.
#include <windows.h>

class PerMonitorDpiScope {
public:
    PerMonitorDpiScope() noexcept;
    ~PerMonitorDpiScope();
    PerMonitorDpiScope(const PerMonitorDpiScope&) = delete;
    PerMonitorDpiScope& operator=(const PerMonitorDpiScope&) = delete;

    // The thread was switched, and is switched back when the scope ends.
    bool switched() const noexcept { return previous_ != nullptr; }

private:
    HANDLE previous_ = nullptr;  // the thread's DPI_AWARENESS_CONTEXT before the switch
};
