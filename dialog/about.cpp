#include "dialog/about.h"

const char kAboutText[] =
    "Pixmerle 1.1.7\r\n"
    "\r\n"
    "Pictures of single windows, exact to the pixel\r\n"
    "\r\n"
    "Plugin for OllyDBG , PEiD & Quick unpack\r\n"
    "\r\n"
    "team@pixmerle.example.org\r\n"
    "https://pixmerle.example.org/\r\n"
    "\r\n"
    "The Pixmerle team, December 2026";

const char kAboutTitle[] = "About Programmer";

// A host window closed since it was handed over would keep the box from showing.
void ShowAbout(HWND owner) {
    MessageBoxA(owner && IsWindow(owner) ? owner : nullptr, kAboutText, kAboutTitle, MB_ICONINFORMATION);
}
