#pragma once
// Captures that a debugger's menu starts without the dialog, with the
// settings last applied: the last target picked, and the window under the
// cursor. Each goes into the folder, onto the clipboard, or, with neither
// set, through the save-file dialog owned by the host's window.
#include <windows.h>
#include <cstdint>

// The target the tracker kept, captured where it is now; nothing when there
// is none or it no longer shows.
void CaptureLastTarget(HWND host);
// The smallest window under the cursor; nothing over no window.
void CaptureUnderCursor(HWND host);
// "Delay" as last applied, in seconds.
int32_t SavedDelaySeconds();
