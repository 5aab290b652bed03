#include "common/run_time_binding.h"

#include "common/own_module.h"

#include <string>
#include <utility>

namespace {

// LoadLibraryExA's search flags of Windows 8 (and of Windows 7 with
// KB2533623): the library's own folder and the system folder for what it
// imports in turn, never the current directory or PATH.
constexpr DWORD kSearchDllLoadDir = 0x100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchSystem32 = 0x800;    // LOAD_LIBRARY_SEARCH_SYSTEM32

bool SearchFlagsKnown() {
    // Documented: the flags are understood where kernel32 has AddDllDirectory.
    static const bool known = [] {
        FARPROC addDllDirectory = nullptr;
        BindNames(GetModuleHandleA("kernel32.dll"), {{"AddDllDirectory", addDllDirectory}});
        return addDllDirectory != nullptr;
    }();
    return known;
}

bool IsFullPath(const std::string& name) {
    const bool drive = name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/');
    const bool share = name.size() > 2 && name[0] == '\\' && name[1] == '\\';
    return drive || share;
}

std::string FolderOfModule(HMODULE module) {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::string file(path, length);
    const size_t separator = file.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : file.substr(0, separator + 1);
}

std::string SystemFolder() {
    char path[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(path, length) + "\\";
}

HMODULE LoadFullPath(const std::string& path) {
    if (path.empty() || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
    // Without the search flags (Windows XP), what the library imports is
    // looked for beside it first.
    const DWORD flags = SearchFlagsKnown() ? kSearchDllLoadDir | kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH;
    return LoadLibraryExA(path.c_str(), nullptr, flags);
}

}  // namespace

bool BindNames(HMODULE module, std::initializer_list<BoundName> table) noexcept {
    bool all = true;
    for (const BoundName& line : table) {
        const FARPROC address = module ? GetProcAddress(module, line.name()) : nullptr;
        line.Set(address);
        all = all && address != nullptr;
    }
    return all;
}

HMODULE LoadTrustedLibrary(const char* name, unsigned places) noexcept {
    try {
        if (!name || !*name) return nullptr;
        HMODULE module = nullptr;
        if (GetModuleHandleExA(0, name, &module)) return module;
        const std::string file = name;
        if (IsFullPath(file)) return LoadFullPath(file);
        if (file.find_first_of("\\/") != std::string::npos) return nullptr;
        const std::pair<unsigned, std::string> folders[] = {
            {kBesideHost, FolderOfModule(nullptr)},
            {kBesideOwnModule, FolderOfModule(OwnModule())},
            {kSystemFolder, SystemFolder()},
        };
        for (const auto& [place, folder] : folders) {
            if (!(places & place) || folder.empty()) continue;
            if ((module = LoadFullPath(folder + file)) != nullptr) return module;
        }
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}
