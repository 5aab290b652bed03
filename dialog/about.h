#pragma once
// The About box, opened from the dialog's "About" button and from the
// debuggers' menus.
#include <windows.h>

extern const char kAboutText[];
extern const char kAboutTitle[];

void ShowAbout(HWND owner);
