#pragma once
// The debugger DLL of x32dbg as a plug-in sees it, built as "x32dbg.dll"
// for the host simulator: the _plugin_* functions the plug-in binds, which
// record every menu, entry, icon, callback and log line, and the calls the
// simulated loader makes on its side. All cdecl, as in the debugger. The
// simulator loads it, as x32dbg.exe has it, only when it plays x32dbg.
#include "host/x64dbg_sdk.h"

#include <windows.h>

// The file name: x64dbg.dll in the 64-bit build, which plays x64dbg.
#ifdef _WIN64
constexpr char kDebuggerDllName[] = "x64dbg.dll";
#else
constexpr char kDebuggerDllName[] = "x32dbg.dll";
#endif

using PluginCallback = void(__cdecl*)(int type, void* info);

struct RecordedEntry {
    int menu;
    int entry;  // -1 for a separator
    const char* title;
    bool hasPngIcon;
    const char* hotkey;  // empty when none was set
};

struct RecordedMenu {
    int handle;
    int parent;  // -1 for a menu of the debugger's own
    const char* title;
    bool hasPngIcon;
};

// What the loader does (simulator_add_plugin_menu: a submenu titled with
// the plug-in's name in one of the debugger's menus; _plugin_registercallback
// for the exported CB* functions) and what the simulator reads back.
using AddPluginMenuFn = int(__cdecl*)(int pluginHandle, const char* title);
using RegisterCallbackFn = void(__cdecl*)(int pluginHandle, int type, PluginCallback callback);
using CountFn = int(__cdecl*)();
using MenuAtFn = bool(__cdecl*)(int index, RecordedMenu* menu);
using EntryAtFn = bool(__cdecl*)(int index, RecordedEntry* entry);
using CallbackFn = PluginCallback(__cdecl*)(int pluginHandle, int type);
using LogLineFn = const char*(__cdecl*)(int index);
