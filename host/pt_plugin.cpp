// Hosts of GetPTPluginName/StartPTPlugin (stdcall); the window such a host
// passes stays hidden afterwards.
#include "dialog/capture_dialog_lifetime.h"
#include "host/host_call.h"

#include <commctrl.h>

extern "C" {

int __stdcall StartPTPlugin(HWND window) {
    RunHostAction(0, [] {
        InitCommonControls();
        return RunCaptureDialog(nullptr, 1);
    });
    ShowWindow(window, SW_HIDE);
    return 0;
}

const char* GetPTPluginName() { return kPluginName; }

}  // extern "C"
