#include "host/library.h"

// cppcheck-suppress constParameter ; the signature Windows calls
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) StopLibrary();
    return TRUE;
}
