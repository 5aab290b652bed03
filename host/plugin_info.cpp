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
    // The dialog has no owner, so the host's menus stay usable while it is
    // open, and a start from them runs inside its message loop. A second
    // dialog there would share the target and the image being saved with
    // the first; the open one comes forward instead, with whatever it has
    // open in front of it.
    if (HWND open = OpenCaptureDialog()) {
        SetForegroundWindow(GetLastActivePopup(open));
        return 0;
    }
    return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_CAPTURE), nullptr, CaptureDlgProc, initValue);
}
