#include "host/library.h"

const char kUnloadMessage[] = "Plugin unloaded by DLL_PROCESS_DETACH";

void StopLibrary() { OutputDebugStringA(kUnloadMessage); }
