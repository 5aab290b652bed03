#pragma once
// What every host's glue shares: the plug-in's name and homepage, and the
// running of a host's call: shielded from exceptions, and for a dialog or
// menu action kept safe from a host that stops or frees the plug-in.
#include <windows.h>

// Hosts keep the pointer they are given: one copy for the whole library.
inline constexpr char kPluginName[] = "Pixmerle 1.1.7";
extern const char kHomepage[];

// The main window of the OllyDbg 1.10 host, once it accepted the plug-in;
// owner of the About box opened from that debugger's menu.
extern HWND HostMainWnd;

void OpenHomepage();

// Runs a host's call so that no C++ exception gets back into the host.
template <typename Result, typename Call>
Result ShieldHost(Result failed, Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return failed;
    }
}

// A dialog or menu action running for a host on the host's thread, for the
// life of the object. From its start the plug-in stays in the process until
// the process ends, so a host that frees it meanwhile (OllyDbg 2.01 closing
// with the dialog open) never returns into freed code. The top-level windows
// that the action opens on its thread are noted, for a host that stops the
// plug-in from another thread.
class HostAction {
public:
    HostAction() noexcept;
    ~HostAction();
    HostAction(const HostAction&) = delete;
    HostAction& operator=(const HostAction&) = delete;
};

// ShieldHost inside a HostAction.
template <typename Result, typename Call>
Result RunHostAction(Result failed, Call&& call) noexcept {
    const HostAction action;
    return ShieldHost(failed, call);
}

// From any thread: asks every window that a running action opened to close,
// the front one first: the capture dialog is closed, every other (About
// box, message box, save-file dialog, folder browser) cancelled. It only
// posts; the windows end on their own thread.
void CloseActionWindows() noexcept;
// From a thread other than the actions': closes their windows, again while
// they come, until no action runs any more; false if one still runs after
// quietMs in which none of them closed.
bool EndActions(DWORD quietMs) noexcept;
