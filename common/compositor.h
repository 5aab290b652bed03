#pragma once
// What the desktop compositor (Windows Vista and later) knows about the
// screen, bound at run time from dwmapi.dll. Where there is no dwmapi.dll,
// or it does not answer, windows are taken by their window rectangles and
// nothing is waited for.
#include <windows.h>

// The part of a window that shows, in screen coordinates, given its window
// rectangle: for a top-level window the frame the compositor reports, which
// leaves out the invisible resize borders of Windows 10 and 11; for a child
// window, or when the answer is missing or makes no sense (empty, inverted,
// or reaching outside the window rectangle), the window rectangle itself.
// The compositor answers in physical pixels: call it with the thread per-
// monitor DPI aware (PerMonitorDpiScope), where the window rectangle is
// physical too.
RECT VisibleFrame(HWND window, const RECT& windowRect);
// The same, reading the window rectangle; false when the window has none.
bool VisibleWindowRect(HWND window, RECT& rect);

// Returns once the compositor has put the windows' present state on the
// screen (DwmFlush), such as a window just hidden; at once without one.
void WaitForComposition();
