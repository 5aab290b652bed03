#pragma once
// The real plug-in DLL, loaded from the test program's folder the way a host
// loads it, and its exported entry points.
#include <windows.h>

using StartPluginFn = INT_PTR(__stdcall*)(DWORD);

// Loads Pixmerle_1_1_7.dll once; null when it cannot be loaded.
HMODULE PluginModule();
// The plug-in loaded from the test program's folder; fails the test if not.
void ExpectPluginFromProgramFolder();

template <typename F>
F PluginEntry(const char* name) {
    HMODULE module = PluginModule();
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Opens the plug-in's capture dialog on this thread as a host does and comes
// back when it ends: StartPlugin in the 32-bit build, x64dbg's pluginit,
// plugsetup and menu entry in the 64-bit one. False without those entries.
bool RunPluginDialogAsHost();

// True once PluginModule loaded the DLL. The test program then ends without
// the DLL's unload notification: under qemu-user, the OutputDebugStringA the
// plug-in calls at unload takes down a process that has ever run a second
// thread. Its unload is tested in a single-threaded process of its own.
bool PluginWasLoaded();
