#include "host/plugin_info.h"

#include "common/own_module.h"
#include "dialog/capture_dialog.h"
#include "resources/resource_ids.h"

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
const char kHomepage[] = "https://pixmerle.example.org/";

HWND HostMainWnd = nullptr;

INT_PTR RunCaptureDialog(LPARAM initValue) {
    return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_CAPTURE), nullptr, CaptureDlgProc, initValue);
}
