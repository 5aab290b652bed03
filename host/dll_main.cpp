#include "host/library.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: return StartLibrary() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: StopLibrary(); break;
    default: break;
    }
    return TRUE;
}
