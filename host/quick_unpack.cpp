// Quick Unpack: GetPluginName names the plug-in, StartPlugin (stdcall)
// starts it and gives the dialog's result.
#include "dialog/capture_dialog_lifetime.h"
#include "host/host_call.h"

#include <commctrl.h>

extern "C" {

INT_PTR __stdcall StartPlugin(DWORD /*unused*/) {
    return RunHostAction(INT_PTR(-1), [] {
        InitCommonControls();
        return RunCaptureDialog(nullptr, 1);
    });
}

const char* GetPluginName() { return kPluginName; }

}  // extern "C"
