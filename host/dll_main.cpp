#include "host/library.h"

// cppcheck-suppress constParameter ; the signature Windows calls
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    try {
        switch (reason) {
        case DLL_PROCESS_ATTACH: return StartLibrary() ? TRUE : FALSE;
        // A non-null reserved argument: the process is ending.
        case DLL_PROCESS_DETACH: StopLibrary(reserved != nullptr); break;
        default: break;
        }
    } catch (...) {
        return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
    }
    return TRUE;
}
