// OllyDbg 1.10, and Immunity Debugger, which calls the same interface under
// the names IMMDBG_* (aliases in pixmerle.def). All cdecl.
#include "dialog/about.h"
#include "dialog/capture_dialog_lifetime.h"
#include "host/host_call.h"
#include "host/quick_capture.h"

#include <cstring>

namespace {

constexpr int kOllyInterfaceVersion = 110;
constexpr int kOriginMainMenu = 0;
constexpr int kOriginDisassembler = 31;
constexpr int kActionCaptureAgain = 4;
constexpr int kActionDelayedCapture = 5;
constexpr char kMainMenu[] =
    "0 &Pixmerle 1.1.7|4 Capture &again|5 &Delayed capture under cursor|1 &Homepage|2 &About...";
constexpr char kDisassemblerMenu[] = "0 &Pixmerle 1.1.7";

}  // namespace

extern "C" {

void __cdecl _ODBG_Pluginaction(int origin, int action, void* /*item*/) {
    RunHostAction(0, [&] {
        if ((origin == kOriginMainMenu || origin == kOriginDisassembler) && action == 0) {
            RunCaptureDialog(nullptr, 0);
        } else if (origin == kOriginMainMenu && action == 1) {
            OpenHomepage();
        } else if (origin == kOriginMainMenu && action == 2) {
            ShowAbout(HostMainWnd);
        } else if (origin == kOriginMainMenu && action == kActionCaptureAgain) {
            RunCaptureAgain(HostMainWnd);
        } else if (origin == kOriginMainMenu && action == kActionDelayedCapture) {
            StartDelayedCapture(HostMainWnd);
        }
        return 0;
    });
}

int __cdecl _ODBG_Pluginmenu(int origin, char* data, void* /*item*/) {
    if (!data) return 0;
    if (origin == kOriginMainMenu) {
        std::memcpy(data, kMainMenu, sizeof kMainMenu);
        return 1;
    }
    if (origin == kOriginDisassembler) {
        std::memcpy(data, kDisassemblerMenu, sizeof kDisassemblerMenu);
        return 1;
    }
    return 0;
}

int __cdecl _ODBG_Plugininit(int version, HWND mainWindow, void* /*features*/) {
    if (version < kOllyInterfaceVersion) return -1;
    HostMainWnd = mainWindow;
    return 0;
}

// The debugger closing: a delayed capture still waiting never comes.
void __cdecl _ODBG_Plugindestroy(void) { CancelDelayedCapture(); }

int __cdecl _ODBG_Plugindata(char* name) {
    if (name) std::memcpy(name, kPluginName, sizeof kPluginName);
    return kOllyInterfaceVersion;
}

}  // extern "C"
