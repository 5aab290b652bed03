#include "dialog/capture_dialog_lifetime.h"

#include "capture/screen_shot.h"
#include "common/own_module.h"
#include "dialog/artwork.h"
#include "dialog/capture_dialog.h"
#include "resources/resource_ids.h"
#include "tracking/target_tracker.h"

#include <new>

// Made at the first dialog, on the host's thread, and kept for the life of
// the library: the capture object binds the PNG library, which fixes the
// output format. Never in DllMain, where loading a library is not safe.
void StartCaptureObjects() {
    static const bool started = [] {
        // A failed allocation leaves the global null; every user checks it,
        // so the host survives a plug-in that cannot work.
        ScreenShot = new (std::nothrow) TScreenShot();
        MiscData = new (std::nothrow) TMiscData();
        LoadArtwork();
        return true;
    }();
    static_cast<void>(started);
}

INT_PTR RunCaptureDialog(HWND owner, LPARAM initValue) {
    // The legacy hosts give no owner, so their menus stay usable while the
    // dialog is open, and a start from them runs inside its message loop. A
    // second dialog there would share the target and the image being saved
    // with the first; the open one comes forward instead, with whatever it
    // has open in front of it.
    if (HWND open = OpenCaptureDialog()) {
        SetForegroundWindow(GetLastActivePopup(open));
        return 0;
    }
    if (owner && !IsWindow(owner)) owner = nullptr;
    StartCaptureObjects();
    return DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_CAPTURE), owner, CaptureDlgProc, initValue);
}
