#pragma once
// Starting the capture dialog for a host.
#include <windows.h>

// Runs the capture dialog modally, owned by `owner` (null for none); gives
// what the dialog ended with, or -1 when it could not be created. While a
// capture dialog is open already, brings that one forward and gives 0.
INT_PTR RunCaptureDialog(HWND owner, LPARAM initValue);
// Makes the capture object and the tracker once, on the host's thread, as
// the first dialog does.
void StartCaptureObjects();
