#include "tests/support/plugin_library.h"

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
