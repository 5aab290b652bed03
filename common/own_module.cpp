#include "common/own_module.h"

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

void KeepOwnModuleLoaded() noexcept {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
}

std::string OwnString(UINT id) {
    char text[1024];
    const int length = LoadStringA(OwnModule(), id, text, sizeof(text));
    return length > 0 ? std::string(text, size_t(length)) : std::string();
}
