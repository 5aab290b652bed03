#pragma once
// Start-up and shutdown of the plug-in's global objects, run from DllMain.
#include <windows.h>

bool StartLibrary();
// At process exit other DLLs may be gone already and the loader lock is
// held: the unload message is written, and nothing is freed.
void StopLibrary(bool processEnding);

extern const char kUnloadMessage[];
