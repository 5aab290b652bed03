#include "dialog/folders.h"

#include "common/com_apartment.h"
#include "common/handles.h"

#include <shlobj.h>

#include <cstring>

namespace {

// Shell item lists are released with the task allocator.
using UniqueItemList = Unique<NullEmptyTraits<LPITEMIDLIST, CoTaskMemFree>>;

}  // namespace

std::string ExtractDirectory(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

bool FileExists(const char* name) {
    UniqueFile file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    return static_cast<bool>(file);
}

bool BrowseForFolder(HWND owner, const char* title, std::string& folder) {
    const ComApartment com;
    char path[MAX_PATH] = {};
    char displayName[MAX_PATH] = {};
    LPITEMIDLIST root = nullptr;
    SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root);
    UniqueItemList rootOwner(root);

    const std::string initial = folder;
    BROWSEINFOA browse{};
    browse.hwndOwner = GetActiveWindow();
    browse.pidlRoot = root;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(initial.c_str());
    UniqueItemList chosen(SHBrowseForFolderA(&browse));
    if (!chosen || !SHGetPathFromIDListA(chosen.get(), path)) return false;
    folder.assign(path, strnlen(path, MAX_PATH));
    return true;
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    // An empty folder text selects nothing; some shells would select a drive for it.
    const char* folder = reinterpret_cast<const char*>(data);
    if (message == BFFM_INITIALIZED && folder && *folder) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}
