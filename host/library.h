#pragma once
// Start-up and shutdown of the plug-in's global objects, run from DllMain.
#include <windows.h>

// Icons of the own module, loaded at start-up; null when missing.
extern HICON AppIcon;
extern HICON FinderEmptyIcon;
extern HICON FinderIcon;

bool StartLibrary();
void StopLibrary();

extern const char kUnloadMessage[];
