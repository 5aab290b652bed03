#pragma once
// What the plug-in tells its hosts and its users about itself, and the one
// way every host starts it.
#include <windows.h>

// Hosts keep the pointer they are given: one copy for the whole library.
inline constexpr char kPluginName[] = "Pixmerle 1.1.7";
extern const char kAboutText[];
extern const char kAboutTitle[];
extern const char kHomepage[];

// The main window of the debugger host, once it accepted the plug-in; owner
// of the About box opened from the debugger's menu.
extern HWND HostMainWnd;

// Runs the capture dialog modally without an owner window; gives what the
// dialog ended with, or -1 when it could not be created. While a capture
// dialog is open already, brings that one forward and gives 0.
INT_PTR RunCaptureDialog(LPARAM initValue);
