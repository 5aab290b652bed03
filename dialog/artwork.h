#pragma once
// The dialog's icons, loaded from the own module before the first dialog.
#include <windows.h>

#include <cstddef>

// Null when missing; shared icons are owned by the system and never freed.
extern HICON AppIcon;
extern HICON FinderEmptyIcon;
extern HICON FinderIcon;

void LoadArtwork();

// The application icon as a small PNG image, for hosts whose menus take
// pictures as PNG bytes; null with size 0 when the resource is missing.
struct PngImageBytes {
    const void* data = nullptr;
    size_t size = 0;
};
PngImageBytes MenuIconPng();
