#pragma once
// The debuggers' "Capture again" and "Delayed capture under cursor".
#include <windows.h>

inline constexpr char kCaptureAgainTitle[] = "Capture &again";
inline constexpr char kDelayedCaptureTitle[] = "&Delayed capture under cursor";
inline constexpr wchar_t kCaptureAgainTitleW[] = L"Capture &again";
inline constexpr wchar_t kDelayedCaptureTitleW[] = L"&Delayed capture under cursor";
// x64dbg's and x32dbg's key for "Capture again": none of theirs by default.
inline constexpr char kCaptureAgainHotkey[] = "Ctrl+Shift+F12";

// Inside a host action on the host's UI thread: the last target, captured now.
void RunCaptureAgain(HWND host);
// On the host's UI thread: returns at once; once the saved delay is over and
// that thread reads its messages, captures the window under the cursor. A
// second request starts the wait afresh.
void StartDelayedCapture(HWND host);
// From any thread, at a host's stop or unload: the pending capture never comes.
void CancelDelayedCapture() noexcept;
