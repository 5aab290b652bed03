#include "host/plugin_info.h"

#include <shellapi.h>

const char kHomepage[] = "https://pixmerle.example.org/";

HWND HostMainWnd = nullptr;

void OpenHomepage() { ShellExecuteA(nullptr, "Open", kHomepage, nullptr, nullptr, SW_SHOWDEFAULT); }
