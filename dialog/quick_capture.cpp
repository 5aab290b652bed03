#include "dialog/quick_capture.h"

#include "capture/screen_shot.h"
#include "common/dpi_awareness.h"
#include "dialog/capture_dialog_lifetime.h"
#include "dialog/options.h"
#include "tracking/target_tracker.h"

#include <cstring>
#include <string>

namespace {

struct SavedOptions {
    std::string folder;  // empty unless "Save capture to :" is on with a folder
    bool clipboard = false;
    bool rgbOnly = false;
    int32_t delaySeconds = kDefaultDelaySeconds;
};

// Read from the file without touching the globals: an open dialog may hold
// changes in them that were not applied.
SavedOptions ReadSavedOptions() {
    char folder[sizeof SaveFolder];
    std::memcpy(folder, SaveFolder, sizeof folder);
    const int32_t toFolder = SaveToFolder, hide = HideOnCapture, clipboard = CopyToClipboard,
                  rgb = RgbOnly, delay = CaptureDelaySeconds;
    LoadSettings();
    SavedOptions saved;
    if (SaveToFolder) saved.folder = SaveFolder;
    saved.clipboard = CopyToClipboard != 0;
    saved.rgbOnly = RgbOnly != 0;
    saved.delaySeconds = CaptureDelaySeconds;
    std::memcpy(SaveFolder, folder, sizeof folder);
    SaveToFolder = toFolder;
    HideOnCapture = hide;
    CopyToClipboard = clipboard;
    RgbOnly = rgb;
    CaptureDelaySeconds = delay;
    return saved;
}

void CaptureForHost(HWND target, HWND host) {
    StartCaptureObjects();
    // An image held means the dialog's capture waits in its save-file
    // dialog; this one would take that image from under it.
    if (!ScreenShot || ScreenShot->Image) return;
    if (!target || target == GetDesktopWindow() || !IsWindow(target) || !IsWindowVisible(target)) return;
    const SavedOptions saved = ReadSavedOptions();
    if (host && !IsWindow(host)) host = nullptr;
    if (saved.folder.empty() && !saved.clipboard) SaveDialogOwner = host;
    ScreenShot->AlwaysRgb = saved.rgbOnly;
    ScreenShot->CaptureToDestinations(target, saved.folder.c_str(), saved.clipboard, host);
}

}  // namespace

void CaptureLastTarget(HWND host) {
    StartCaptureObjects();
    if (MiscData && MiscData->HasTarget) CaptureForHost(MiscData->Snapshot.TargetWnd, host);
}

void CaptureUnderCursor(HWND host) {
    HWND target = nullptr;
    {
        // The cursor and the search in physical pixels, as the finder's.
        PerMonitorDpiScope physical;
        POINT cursor;
        if (!GetCursorPos(&cursor)) return;
        target = WindowAtPoint(cursor);
    }
    CaptureForHost(target, host);
}

int32_t SavedDelaySeconds() { return ReadSavedOptions().delaySeconds; }
