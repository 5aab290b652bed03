// OllyDbg 2.01: ODBG2_* entry points, cdecl, with wide strings. The host
// executable exports its main window as the data symbol hwollymain.
#include "common/run_time_binding.h"
#include "dialog/about.h"
#include "dialog/capture_dialog_lifetime.h"
#include "host/ollydbg2_menu.h"
#include "host/host_call.h"
#include "host/quick_capture.h"

#include <atomic>
#include <cwchar>

namespace {

constexpr int kLowestHostVersion = 201;
constexpr int kInterfaceVersion = 0x02010001;
constexpr int kShortName = 32;

enum MenuAction : ULONG {
    kActionCapture = 0,
    kActionHomepage = 1,
    kActionAbout = 2,
    kActionCaptureAgain = 3,
    kActionDelayedCapture = 4,
};

std::atomic<bool> initialised{false};

HWND OllyMainWindow() {
    const HWND* exported = nullptr;
    BindNames(GetModuleHandleA(nullptr), {{"hwollymain", exported}});
    if (exported && IsWindow(*exported)) return *exported;
    return GetActiveWindow();
}

int __cdecl RunMenuAction(void* /*table*/, wchar_t* /*name*/, ULONG index, int mode) {
    const bool known = index <= kActionDelayedCapture;
    if (mode == kOlly2MenuVerify) return known && initialised ? kOlly2MenuNormal : kOlly2MenuAbsent;
    if (mode != kOlly2MenuExecute || !known || !initialised) return kOlly2MenuNoRedraw;
    return RunHostAction(kOlly2MenuNoRedraw, [index] {
        switch (index) {
        case kActionCapture: RunCaptureDialog(OllyMainWindow(), 0); break;
        case kActionHomepage: OpenHomepage(); break;
        case kActionAbout: ShowAbout(OllyMainWindow()); break;
        case kActionCaptureAgain: RunCaptureAgain(OllyMainWindow()); break;
        case kActionDelayedCapture: StartDelayedCapture(OllyMainWindow()); break;
        default: break;
        }
        return kOlly2MenuNoRedraw;
    });
}

wchar_t* Text(const wchar_t* text) { return const_cast<wchar_t*>(text); }

Olly2MenuItem mainMenu[] = {
    {Text(L"&Pixmerle 1.1.7"), Text(L"Capture a window to a PNG or BMP file"), 0, RunMenuAction, nullptr,
     {kActionCapture}},
    {Text(kCaptureAgainTitleW), Text(L"Capture the last target again with the applied settings"), 0, RunMenuAction,
     nullptr, {kActionCaptureAgain}},
    {Text(kDelayedCaptureTitleW), Text(L"After the delay, capture the window under the mouse cursor"), 0,
     RunMenuAction, nullptr, {kActionDelayedCapture}},
    {Text(L"&Homepage"), Text(L"Open Pixmerle's homepage"), 0, RunMenuAction, nullptr, {kActionHomepage}},
    {Text(L"&About..."), Text(L"About Pixmerle"), 0, RunMenuAction, nullptr, {kActionAbout}},
    {nullptr, nullptr, 0, nullptr, nullptr, {0}},
};

Olly2MenuItem disassemblerMenu[] = {
    {Text(L"&Pixmerle 1.1.7"), Text(L"Capture a window to a PNG or BMP file"), 0, RunMenuAction, nullptr,
     {kActionCapture}},
    {nullptr, nullptr, 0, nullptr, nullptr, {0}},
};

}  // namespace

extern "C" {

int __cdecl ODBG2_Pluginquery(int hostVersion, ULONG* /*features*/, wchar_t* name, wchar_t* version) {
    if (hostVersion < kLowestHostVersion || !name || !version) return 0;
    std::wcsncpy(name, L"Pixmerle 1.1.7", kShortName - 1);
    name[kShortName - 1] = L'\0';
    std::wcsncpy(version, L"1.1.7", kShortName - 1);
    version[kShortName - 1] = L'\0';
    return kInterfaceVersion;
}

int __cdecl ODBG2_Plugininit(void) {
    initialised = true;
    return 0;
}

void* __cdecl ODBG2_Pluginmenu(wchar_t* type) {
    if (!type || !initialised) return nullptr;
    if (std::wcscmp(type, L"MAIN") == 0) return mainMenu;
    if (std::wcscmp(type, L"DISASM") == 0) return disassemblerMenu;
    return nullptr;
}

void __cdecl ODBG2_Pluginreset(void) {}

// 0 lets the debugger close.
int __cdecl ODBG2_Pluginclose(void) { return 0; }

// May come from inside the dialog's modal loop, the host freeing the
// library right after: what is open is asked to close, and the plug-in,
// kept in the process by the running action, returns into its own code.
void __cdecl ODBG2_Plugindestroy(void) {
    initialised = false;
    CancelDelayedCapture();
    CloseActionWindows();
}

}  // extern "C"
