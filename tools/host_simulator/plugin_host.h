#pragma once
// One host program as the plug-in sees it: how it loads the library, asks
// for the name, offers the plug-in in its menu and starts it.
#include "common/handles.h"

#include <windows.h>

#include <string>
#include <vector>

enum class HostKind { OllyDbg, PEiD, QuickUnpack, FourthHost, X32dbg, OllyDbg2, Immunity };

bool ParseHostKind(const char* text, HostKind& kind);
const char* HostKindName(HostKind kind);
// Where the host looks for the plug-in, relative to its executable.
const char* DefaultPluginPath(HostKind kind);

class PluginHost {
public:
    explicit PluginHost(HostKind kind) : kind_(kind) {}
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library and asks for its name, as the host does at start-up.
    bool Load(const std::string& path);
    // Frees the library the way the host does; x32dbg asks plugstop first,
    // on a thread of its own, and keeps the library when it says no.
    bool Unload();
    // The host's main window, with the plug-in's entries in its menu.
    bool CreateMainWindow();
    // Starts the plug-in the way the host does; returns when its dialog ends.
    void StartPlugin();
    // Runs the main window until it is closed; with `startNow` the plug-in
    // is started once right away.
    int Run(bool startNow);
    // Starts the plug-in and, once its dialog shows, unloads it from inside
    // the dialog's modal loop, as OllyDbg 2.01 does when its session ends
    // with the dialog open. True when the unloading came while the dialog
    // was open and the start returned afterwards.
    bool StartAndUnloadFromTheDialog();

    const std::string& PluginName() const { return name_; }

private:
    // An OllyDbg 2.01 menu item: its function and index.
    struct Olly2Item {
        void* function;
        std::wstring name;
        unsigned long index;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int command);
    bool LoadX32dbgPlugin();
    bool LoadOlly2Plugin();
    std::string OllyEntry(const char* suffix) const;
    bool AddOllyMenu(HMENU bar, int origin, const char* title);
    bool AddOlly2Menu(HMENU bar, const wchar_t* type, const char* title);
    bool SetUpX32dbgMenus(HMENU bar);
    // The menu command that starts the plug-in in this host.
    int StartCommand() const;

    HostKind kind_;
    UniqueModule debuggerDll_;  // x32dbg.dll, the x32dbg host's own
    UniqueModule module_;
    HWND mainWindow_ = nullptr;
    std::string name_;
    std::vector<Olly2Item> olly2Items_;
    std::vector<ACCEL> accelerators_;
    bool unloadFromDialog_ = false;
    bool unloadedFromDialog_ = false;
};
