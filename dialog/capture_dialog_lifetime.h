#pragma once
// Starting the capture dialog for a host, and ending it for a host that
// unloads the plug-in from another thread.
#include <windows.h>

// Runs the capture dialog modally, owned by `owner` (null for none); gives
// what the dialog ended with, or -1 when it could not be created. While a
// capture dialog is open already, brings that one forward and gives 0.
INT_PTR RunCaptureDialog(HWND owner, LPARAM initValue);

// From any thread: asks the open capture dialog, and whatever it has open
// in front of it, to close, and waits up to the timeout until it is gone.
// True when no capture dialog is open any more.
bool CloseCaptureDialog(DWORD timeoutMs);
