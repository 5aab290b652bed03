// x64dbg (x32dbg for this 32-bit build): pluginit, plugsetup, plugstop and
// the menu callback CBMENUENTRY, which the loader registers by its export
// name. The debugger's _plugin_* functions are bound at run time from its
// own DLL, so the plug-in keeps importing Windows system DLLs only; a host
// that lacks one of them gets fewer menu features.
#include "common/run_time_binding.h"
#include "dialog/about.h"
#include "dialog/artwork.h"
#include "dialog/capture_dialog_lifetime.h"
#include "host/host_call.h"
#include "host/quick_capture.h"
#include "host/x64dbg_sdk.h"

#include <atomic>
#include <cstddef>
#include <cstring>

namespace {

#ifdef _WIN64
constexpr char kHostModule[] = "x64dbg.dll";
#else
constexpr char kHostModule[] = "x32dbg.dll";
#endif
constexpr int kSdkVersion = 1;
constexpr int kPluginVersion = 1;
constexpr DWORD kStopWaitMs = 5000;

enum MenuEntry {
    kEntryCapture = 0,
    kEntryHomepage = 1,
    kEntryAbout = 2,
    kEntryDisassemblerCapture = 3,
    kEntryCaptureAgain = 4,
    kEntryDelayedCapture = 5,
};

struct HostFunctions {
    bool(__cdecl* menuAddEntry)(int menu, int entry, const char* title) = nullptr;
    bool(__cdecl* menuAddSeparator)(int menu) = nullptr;
    void(__cdecl* menuSetIcon)(int menu, const X64dbgIcon* icon) = nullptr;
    void(__cdecl* menuEntrySetIcon)(int pluginHandle, int entry, const X64dbgIcon* icon) = nullptr;
    void(__cdecl* menuEntrySetHotkey)(int pluginHandle, int entry, const char* hotkey) = nullptr;
    void(__cdecl* logPuts)(const char* text) = nullptr;
};

enum class Stage { Unloaded, Initialised, SetUp, Stopped };

std::atomic<Stage> stage{Stage::Unloaded};
int pluginHandle = 0;
HWND debuggerWindow = nullptr;
HostFunctions host;

void BindHostFunctions() {
    // The debugger's own DLL outlives every plug-in it loads.
    BindNames(GetModuleHandleA(kHostModule), {
        {"_plugin_menuaddentry", host.menuAddEntry},
        {"_plugin_menuaddseparator", host.menuAddSeparator},
        {"_plugin_menuseticon", host.menuSetIcon},
        {"_plugin_menuentryseticon", host.menuEntrySetIcon},
        {"_plugin_menuentrysethotkey", host.menuEntrySetHotkey},
        {"_plugin_logputs", host.logPuts},
    });
}

void AddEntry(int menu, int entry, const char* title) {
    if (menu >= 0 && host.menuAddEntry) host.menuAddEntry(menu, entry, title);
}

void SetEntryIcon(int entry, const X64dbgIcon& icon) {
    if (icon.data && host.menuEntrySetIcon) host.menuEntrySetIcon(pluginHandle, entry, &icon);
}

void AddMenus(const X64dbgSetup& setup) {
    const PngImageBytes png = MenuIconPng();
    const X64dbgIcon icon{png.data, png.size};
    AddEntry(setup.hMenu, kEntryCapture, "&Pixmerle 1.1.7");
    AddEntry(setup.hMenu, kEntryCaptureAgain, kCaptureAgainTitle);
    AddEntry(setup.hMenu, kEntryDelayedCapture, kDelayedCaptureTitle);
    // Older debuggers lack the function: the entry then has no key.
    if (setup.hMenu >= 0 && host.menuEntrySetHotkey)
        host.menuEntrySetHotkey(pluginHandle, kEntryCaptureAgain, kCaptureAgainHotkey);
    if (setup.hMenu >= 0 && host.menuAddSeparator) host.menuAddSeparator(setup.hMenu);
    AddEntry(setup.hMenu, kEntryHomepage, "&Homepage");
    AddEntry(setup.hMenu, kEntryAbout, "&About...");
    AddEntry(setup.hMenuDisasm, kEntryDisassemblerCapture, "&Pixmerle 1.1.7");
    if (icon.data && host.menuSetIcon) {
        if (setup.hMenu >= 0) host.menuSetIcon(setup.hMenu, &icon);
        if (setup.hMenuDisasm >= 0) host.menuSetIcon(setup.hMenuDisasm, &icon);
    }
    SetEntryIcon(kEntryCapture, icon);
    SetEntryIcon(kEntryDisassemblerCapture, icon);
}

void RunMenuEntry(int entry) {
    switch (entry) {
    case kEntryCapture:
    case kEntryDisassemblerCapture: RunCaptureDialog(debuggerWindow, 0); break;
    case kEntryHomepage: OpenHomepage(); break;
    case kEntryAbout: ShowAbout(debuggerWindow); break;
    case kEntryCaptureAgain: RunCaptureAgain(debuggerWindow); break;
    case kEntryDelayedCapture: StartDelayedCapture(debuggerWindow); break;
    default: break;
    }
}

}  // namespace

extern "C" {

bool __cdecl pluginit(X64dbgInit* init) {
    if (!init || stage == Stage::Initialised || stage == Stage::SetUp) return false;
    return ShieldHost(false, [init] {
        pluginHandle = init->pluginHandle;
        init->sdkVersion = kSdkVersion;
        init->pluginVersion = kPluginVersion;
        std::memset(init->pluginName, 0, sizeof init->pluginName);
        std::memcpy(init->pluginName, kPluginName, sizeof kPluginName);
        BindHostFunctions();
        stage = Stage::Initialised;
        return true;
    });
}

void __cdecl plugsetup(X64dbgSetup* setup) {
    if (!setup || stage != Stage::Initialised) return;
    ShieldHost(0, [setup] {
        debuggerWindow = setup->hwndDlg;
        AddMenus(*setup);
        if (host.logPuts) host.logPuts("[Pixmerle 1.1.7] ready in the Plugins menu");
        stage = Stage::SetUp;
        return 0;
    });
}

// Called on a thread of the debugger's own, not the GUI thread, which may be
// in the capture dialog, an About box, the save-file dialog, the folder
// browser or a message box: each is asked to close and closes on its
// thread. The debugger frees the library only when this gives true, once
// no action runs any more.
bool __cdecl plugstop() {
    return ShieldHost(false, [] {
        stage = Stage::Stopped;
        CancelDelayedCapture();
        return EndActions(kStopWaitMs);
    });
}

void __cdecl CBMENUENTRY(int /*type*/, X64dbgMenuEntry* info) {
    // The action counts from before the stage is read, so a stop never misses it.
    RunHostAction(0, [info] {
        if (info && stage == Stage::SetUp) RunMenuEntry(info->hEntry);
        return 0;
    });
}

}  // extern "C"
