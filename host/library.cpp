#include "host/library.h"

#include "capture/screen_shot.h"
#include "common/own_module.h"
#include "resources/resource_ids.h"
#include "tracking/misc_data.h"

#include <new>

const char kUnloadMessage[] = "Plugin unloaded by DLL_PROCESS_DETACH";

HICON AppIcon = nullptr;
HICON FinderEmptyIcon = nullptr;
HICON FinderIcon = nullptr;

bool StartLibrary() {
    // A failed allocation leaves the global null; every user checks it, so
    // the host survives a library that cannot work.
    ScreenShot = new (std::nothrow) TScreenShot();
    MiscData = new (std::nothrow) TMiscData();
    // Shared icons from LoadIconA are owned by the system; they are not freed.
    AppIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_APP));
    FinderEmptyIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_FINDER_EMPTY));
    FinderIcon = LoadIconA(OwnModule(), MAKEINTRESOURCEA(IDI_FINDER));
    return true;
}

void StopLibrary() {
    OutputDebugStringA(kUnloadMessage);
    delete MiscData;
    MiscData = nullptr;
    delete ScreenShot;
    ScreenShot = nullptr;
}
