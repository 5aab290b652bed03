#include "tests/support/plugin_library.h"

#include "host/x64dbg_sdk.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

namespace {
constexpr char kPluginFile[] = "Pixmerle_1_1_7.dll";
bool loaded = false;
}

HMODULE PluginModule() {
    static HMODULE module = [] {
        HMODULE handle = LoadLibraryA(kPluginFile);
        loaded = handle != nullptr;
        return handle;
    }();
    return module;
}

void ExpectPluginFromProgramFolder() {
    ASSERT_NE(PluginModule(), nullptr) << kPluginFile << " did not load";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(PluginModule(), path, MAX_PATH);
    ASSERT_EQ(lstrcmpiA(path, (ProgramFolder() + kPluginFile).c_str()), 0) << "loaded from " << path;
}

bool PluginWasLoaded() { return loaded; }

bool RunPluginDialogAsHost() {
#ifdef _WIN64
    const auto init = PluginEntry<bool(__cdecl*)(X64dbgInit*)>("pluginit");
    const auto setup = PluginEntry<void(__cdecl*)(X64dbgSetup*)>("plugsetup");
    const auto menuEntry = PluginEntry<void(__cdecl*)(int, X64dbgMenuEntry*)>("CBMENUENTRY");
    if (!init || !setup || !menuEntry) return false;
    X64dbgInit initData{};
    X64dbgSetup menus{};
    X64dbgMenuEntry capture{0};
    if (!init(&initData)) return false;
    setup(&menus);
    menuEntry(kX64dbgMenuEntryCallback, &capture);
    return true;
#else
    const auto start = PluginEntry<StartPluginFn>("StartPlugin");
    if (!start) return false;
    start(0);
    return true;
#endif
}
