#include "tools/host_simulator/x32dbg_stand_in.h"

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#define STAND_IN_API extern "C" __declspec(dllexport)

namespace {

struct Menu {
    int handle;
    int parent;
    int pluginHandle;
    std::string title;
    bool hasPngIcon = false;
};

struct Entry {
    int pluginHandle;
    int menu;
    int entry;
    std::string title;
    bool hasPngIcon = false;
    std::string hotkey;
};

std::vector<Menu> menus;
std::vector<Entry> entries;
std::map<std::pair<int, int>, PluginCallback> callbacks;
std::vector<std::string> logLines;
int nextMenu = 1;

Menu* FindMenu(int handle) {
    for (Menu& menu : menus)
        if (menu.handle == handle) return &menu;
    return nullptr;
}

// The debugger shows what decodes as PNG; here its signature stands for that.
bool IsPng(const X64dbgIcon* icon) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return icon && icon->data && icon->size > sizeof kSignature &&
           std::memcmp(icon->data, kSignature, sizeof kSignature) == 0;
}

int AddMenu(int parent, int pluginHandle, const char* title) {
    if (!title) return -1;
    menus.push_back(Menu{nextMenu, parent, pluginHandle, title});
    return nextMenu++;
}

}  // namespace

STAND_IN_API int __cdecl simulator_add_plugin_menu(int pluginHandle, const char* title) {
    return AddMenu(-1, pluginHandle, title);
}

STAND_IN_API void __cdecl _plugin_registercallback(int pluginHandle, int type, PluginCallback callback) {
    callbacks[{pluginHandle, type}] = callback;
}

STAND_IN_API bool __cdecl _plugin_unregistercallback(int pluginHandle, int type) {
    return callbacks.erase({pluginHandle, type}) != 0;
}

STAND_IN_API int __cdecl _plugin_menuadd(int hMenu, const char* title) {
    const Menu* parent = FindMenu(hMenu);
    return parent ? AddMenu(hMenu, parent->pluginHandle, title) : -1;
}

// Entry numbers are the plug-in's own, one of each per plug-in.
STAND_IN_API bool __cdecl _plugin_menuaddentry(int hMenu, int hEntry, const char* title) {
    const Menu* menu = FindMenu(hMenu);
    if (!menu || !title || hEntry < 0) return false;
    for (const Entry& entry : entries)
        if (entry.pluginHandle == menu->pluginHandle && entry.entry == hEntry) return false;
    entries.push_back(Entry{menu->pluginHandle, hMenu, hEntry, title, false, ""});
    return true;
}

STAND_IN_API bool __cdecl _plugin_menuaddseparator(int hMenu) {
    const Menu* menu = FindMenu(hMenu);
    if (!menu) return false;
    entries.push_back(Entry{menu->pluginHandle, hMenu, -1, "", false, ""});
    return true;
}

STAND_IN_API void __cdecl _plugin_menuseticon(int hMenu, const X64dbgIcon* icon) {
    if (Menu* menu = FindMenu(hMenu)) menu->hasPngIcon = IsPng(icon);
}

STAND_IN_API void __cdecl _plugin_menuentryseticon(int pluginHandle, int hEntry, const X64dbgIcon* icon) {
    for (Entry& entry : entries)
        if (entry.pluginHandle == pluginHandle && entry.entry == hEntry) entry.hasPngIcon = IsPng(icon);
}

STAND_IN_API void __cdecl _plugin_menuentrysethotkey(int pluginHandle, int hEntry, const char* hotkey) {
    for (Entry& entry : entries)
        if (entry.pluginHandle == pluginHandle && entry.entry == hEntry) entry.hotkey = hotkey ? hotkey : "";
}

STAND_IN_API void __cdecl _plugin_logputs(const char* text) {
    if (text) logLines.emplace_back(text);
}

STAND_IN_API int __cdecl simulator_menu_count() { return int(menus.size()); }

STAND_IN_API bool __cdecl simulator_menu(int index, RecordedMenu* menu) {
    if (index < 0 || size_t(index) >= menus.size() || !menu) return false;
    const Menu& found = menus[size_t(index)];
    *menu = RecordedMenu{found.handle, found.parent, found.title.c_str(), found.hasPngIcon};
    return true;
}

STAND_IN_API int __cdecl simulator_entry_count() { return int(entries.size()); }

STAND_IN_API bool __cdecl simulator_entry(int index, RecordedEntry* entry) {
    if (index < 0 || size_t(index) >= entries.size() || !entry) return false;
    const Entry& found = entries[size_t(index)];
    *entry = RecordedEntry{found.menu, found.entry, found.title.c_str(), found.hasPngIcon, found.hotkey.c_str()};
    return true;
}

STAND_IN_API PluginCallback __cdecl simulator_callback(int pluginHandle, int type) {
    const auto found = callbacks.find({pluginHandle, type});
    return found == callbacks.end() ? nullptr : found->second;
}

STAND_IN_API int __cdecl simulator_log_count() { return int(logLines.size()); }

STAND_IN_API const char* __cdecl simulator_log_line(int index) {
    return index >= 0 && size_t(index) < logLines.size() ? logLines[size_t(index)].c_str() : nullptr;
}
