#pragma once
// What the plug-in tells its hosts about itself, shared by every host's glue.
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
