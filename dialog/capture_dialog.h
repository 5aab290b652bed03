#pragma once
// The capture dialog: the finder drag, "Flash Target", "Take Screen
// Capture" and the two persisted options. It drives the tracker and the
// capture object and holds no capture or tracking logic of its own.
#include <windows.h>

// The window found under the cursor at the last mouse move of a drag.
extern HWND PointedWnd;

// The capture dialog while one is open in this process, else null; from
// any thread.
HWND OpenCaptureDialog();

INT_PTR CALLBACK CaptureDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
