#pragma once
// What the plug-in does in DllMain, under the loader lock: nothing but the
// unload message. Everything it makes (the capture and tracking objects, the
// icons, the libraries it binds) it makes at the first dialog, on the host's
// thread, and a dialog or menu action keeps the plug-in in the process until
// the process ends; so the loader unloads it only before anything was made,
// or when the process ends, when other DLLs may be gone already. Either way
// nothing is freed here.
#include <windows.h>

void StopLibrary();

extern const char kUnloadMessage[];
