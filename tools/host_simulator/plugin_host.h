#pragma once
// One host program as the plug-in sees it: how it loads the library, asks
// for the name, offers the plug-in in its menu and starts it.
#include "common/handles.h"

#include <windows.h>
#include <string>

enum class HostKind { OllyDbg, PEiD, QuickUnpack, FourthHost };

bool ParseHostKind(const char* text, HostKind& kind);
const char* HostKindName(HostKind kind);

class PluginHost {
public:
    explicit PluginHost(HostKind kind) : kind_(kind) {}
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library and asks for its name, as the host does at start-up.
    bool Load(const std::string& path);
    bool Unload();
    // The host's main window, with the plug-in's entries in its menu.
    bool CreateMainWindow();
    // Starts the plug-in the way the host does; returns when its dialog ends.
    void StartPlugin();
    // Runs the main window until it is closed; with `startNow` the plug-in
    // is started once right away.
    int Run(bool startNow);

    const std::string& PluginName() const { return name_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int command);
    bool AddOllyMenu(HMENU bar, int origin, const char* title);
    // The menu command that starts the plug-in in this host.
    int StartCommand() const;

    HostKind kind_;
    UniqueModule module_;
    HWND mainWindow_ = nullptr;
    std::string name_;
};
