#include "host/library.h"

#include "capture/screen_shot.h"
#include "dialog/artwork.h"
#include "tracking/misc_data.h"

#include <new>

const char kUnloadMessage[] = "Plugin unloaded by DLL_PROCESS_DETACH";

bool StartLibrary() {
    // A failed allocation leaves the global null; every user checks it, so
    // the host survives a library that cannot work.
    ScreenShot = new (std::nothrow) TScreenShot();
    MiscData = new (std::nothrow) TMiscData();
    LoadArtwork();
    return true;
}

void StopLibrary(bool processEnding) {
    OutputDebugStringA(kUnloadMessage);
    if (processEnding) return;
    delete MiscData;
    MiscData = nullptr;
    delete ScreenShot;
    ScreenShot = nullptr;
}
