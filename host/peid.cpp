// PEiD: LoadDll names the plug-in, DoMyJob starts it. PEiD passes more
// arguments to DoMyJob; under cdecl the caller removes them.
#include "common/handles.h"
#include "dialog/capture_dialog.h"
#include "dialog/capture_dialog_lifetime.h"
#include "host/host_call.h"

#include <commctrl.h>

extern "C" {

int __cdecl DoMyJob(HWND mainWindow) {
    return RunHostAction(1, [&] {
        // Started again while its dialog is open, only the dialog comes
        // forward: PEiD's window stays as the first start left it.
        if (OpenCaptureDialog()) {
            RunCaptureDialog(nullptr, 1);
            return 1;
        }
        ShowWindow(mainWindow, SW_HIDE);
        ScopeExit showAgain([mainWindow] { ShowWindow(mainWindow, SW_SHOW); });
        InitCommonControls();
        RunCaptureDialog(nullptr, 1);
        ShowWindow(mainWindow, SW_HIDE);
        return 1;
    });
}

const char* LoadDll() { return kPluginName; }

}  // extern "C"
