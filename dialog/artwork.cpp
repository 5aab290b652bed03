#include "dialog/artwork.h"

#include "common/own_module.h"
#include "resources/resource_ids.h"

HICON AppIcon = nullptr;
HICON FinderEmptyIcon = nullptr;
HICON FinderIcon = nullptr;

void LoadArtwork() {
    AppIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_APP));
    FinderEmptyIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_FINDER_EMPTY));
    FinderIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_FINDER));
}

PngImageBytes MenuIconPng() {
    // Resources stay mapped with the module: nothing to release.
    const HRSRC found = FindResourceA(OwnModule(), MAKEINTRESOURCEA(IDR_MENU_ICON_PNG), MAKEINTRESOURCEA(10));
    const HGLOBAL loaded = found ? LoadResource(OwnModule(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return PngImageBytes{};
    return PngImageBytes{data, SizeofResource(OwnModule(), found)};
}
