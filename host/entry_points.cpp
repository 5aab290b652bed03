// The functions the four hosts call, exported by name and ordinal through
// pixmerle.def. No C++ exception may leave them: a host, often a debugger
// holding someone's session, must survive whatever happens in here.
#include "host/plugin_info.h"

#include "common/handles.h"
#include "dialog/capture_dialog.h"

#include <commctrl.h>
#include <shellapi.h>
#include <cstring>

namespace {

constexpr int kOllyInterfaceVersion = 110;
constexpr int kOriginMainMenu = 0;
constexpr int kOriginDisassembler = 31;
constexpr char kMainMenu[] = "0 &Pixmerle 1.1.7|1 &Homepage|2 &About...";
constexpr char kDisassemblerMenu[] = "0 &Pixmerle 1.1.7";

INT_PTR RunDialogSafely(LPARAM initValue) noexcept {
    try {
        return RunCaptureDialog(initValue);
    } catch (...) {
        return -1;
    }
}

}  // namespace

extern "C" {

// The fourth host; the window it passes stays hidden afterwards.
int __stdcall StartPTPlugin(HWND window) {
    InitCommonControls();
    RunDialogSafely(1);
    ShowWindow(window, SW_HIDE);
    return 0;
}

const char* GetPTPluginName() { return kPluginName; }

// PEiD passes more arguments; under cdecl the caller removes them.
int __cdecl DoMyJob(HWND mainWindow) {
    // Started again while its dialog is open, only the dialog comes forward:
    // PEiD's window stays as the first start left it.
    if (OpenCaptureDialog()) {
        RunDialogSafely(1);
        return 1;
    }
    ShowWindow(mainWindow, SW_HIDE);
    ScopeExit showAgain([mainWindow] { ShowWindow(mainWindow, SW_SHOW); });
    InitCommonControls();
    RunDialogSafely(1);
    ShowWindow(mainWindow, SW_HIDE);
    return 1;
}

const char* LoadDll() { return kPluginName; }

INT_PTR __stdcall StartPlugin(DWORD /*unused*/) {
    InitCommonControls();
    return RunDialogSafely(1);
}

const char* GetPluginName() { return kPluginName; }

void __cdecl _ODBG_Pluginaction(int origin, int action, void* /*item*/) {
    try {
        if ((origin == kOriginMainMenu || origin == kOriginDisassembler) && action == 0) {
            RunDialogSafely(0);
        } else if (origin == kOriginMainMenu && action == 1) {
            ShellExecuteA(nullptr, "Open", kHomepage, nullptr, nullptr, SW_SHOWDEFAULT);
        } else if (origin == kOriginMainMenu && action == 2) {
            MessageBoxA(HostMainWnd, kAboutText, kAboutTitle, MB_ICONINFORMATION);
        }
    } catch (...) {
    }
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

int __cdecl _ODBG_Plugindata(char* name) {
    if (name) std::memcpy(name, kPluginName, sizeof kPluginName);
    return kOllyInterfaceVersion;
}

}  // extern "C"
