#include "host/plugin_info.h"

#include "common/com_apartment.h"

#include <shellapi.h>

const char kHomepage[] = "https://pixmerle.example.org/";

HWND HostMainWnd = nullptr;

void OpenHomepage() {
    const ComApartment com;
    ShellExecuteA(nullptr, "Open", kHomepage, nullptr, nullptr, SW_SHOWDEFAULT);
}
