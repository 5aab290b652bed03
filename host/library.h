#pragma once
// Start-up and shutdown of the plug-in's global objects, run from DllMain.
#include <windows.h>

bool StartLibrary();
void StopLibrary();

extern const char kUnloadMessage[];
