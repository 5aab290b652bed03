#include "tests/support/plugin_library.h"

namespace {
bool loaded = false;
}

HMODULE PluginModule() {
    static HMODULE module = [] {
        HMODULE handle = LoadLibraryA("Pixmerle_1_1_7.dll");
        loaded = handle != nullptr;
        return handle;
    }();
    return module;
}

bool PluginWasLoaded() { return loaded; }
