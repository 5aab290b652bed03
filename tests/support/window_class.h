#pragma once
// Window classes of the test programs' own windows.
#include <windows.h>

// Registers a class of this program with the arrow cursor; 0 when that fails.
ATOM RegisterWindowClass(const char* name, WNDPROC proc);
