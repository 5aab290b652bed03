#pragma once
// x64dbg's plug-in structures (x32dbg's alike), laid out as its SDK declares
// them: the plug-in receives them, and the programs that play the debugger
// fill them.
#include <windows.h>

#include <cstddef>

struct X64dbgInit {
    int pluginHandle;
    int sdkVersion;
    int pluginVersion;
    char pluginName[256];
};

// Older debuggers pass fewer menus after hMenuDisasm: the plug-in reads no
// further than that.
struct X64dbgSetup {
    HWND hwndDlg;
    int hMenu, hMenuDisasm, hMenuDump, hMenuStack, hMenuGraph, hMenuMemmap, hMenuSymmod;
};

struct X64dbgMenuEntry {
    int hEntry;
};

// The icon of _plugin_menuseticon and _plugin_menuentryseticon: PNG bytes.
struct X64dbgIcon {
    const void* data;
    size_t size;
};

constexpr int kX64dbgMenuEntryCallback = 18;  // CB_MENUENTRY
