#pragma once
// The target tracker: the window the user points at or has chosen, the
// window carrying the on-screen outline, and the search and drawing that
// picking a window needs.
#include "tracking/window_props.h"

#include <windows.h>
#include <cstdint>
#include <memory>
#include <string>

// The target as it was when selected; emptied as a whole by Clear.
struct TargetSnapshot {
    HWND TargetWnd;
    HWND FramedWnd;
    HWND ParentWnd;  // the parent of a child window, the owner of a top-level one
    HINSTANCE InstanceHandle;
    HMENU MenuHandle;
    int32_t CtrlID;
    uint32_t Style;
    uint32_t ExStyle;
    uintptr_t WndProcAddr;
    uint32_t ProcessID;
    uint32_t ThreadID;
    uint32_t ClassStyle;
    HICON BigIcon;
    HICON SmallIcon;
    bool IsVisible;
    bool IsUnicode;
    bool IsEnabled;
    RECT WindowRect;  // screen coordinates
    RECT ClientRect;  // client coordinates
};

class TMiscData {
public:
    TMiscData();
    ~TMiscData();
    TMiscData(const TMiscData&) = delete;
    TMiscData& operator=(const TMiscData&) = delete;

    void Clear() noexcept;
    void SelectTarget(HWND window) noexcept;
    void FlashTarget();
    // Sets ForeignProcess; true when the target is in this process.
    bool CheckTargetProcess();

    bool HasTarget = false;
    TargetSnapshot Snapshot{};
    std::wstring TextW;
    std::string TextA;
    std::wstring ClassNameW;
    std::string ClassNameA;
    // What a capture of the target takes, in physical pixels when selected
    // from a per-monitor aware thread: the part of the window that shows.
    RECT CaptureRect{};
    // The file name of the target's executable; empty where the system does not tell it.
    std::string ExeName;
    DWORD ExeNameProcessId = 0;
    std::string ExeNameOfProcess;
    bool ForeignProcess = false;
    POINT CursorPos{};
    std::unique_ptr<TWndProps> Props;
    HCURSOR DragCursor = nullptr;
};

struct PointSearch {
    int32_t BestSize;
    HWND Found;
    int32_t X;
    int32_t Y;
};

HWND WindowAtPoint(POINT point);
BOOL CALLBACK ChildSearchProc(HWND window, LPARAM search);
void InvertFrame(HWND window);
void InvertWindow(HWND window);
void RepaintWindow(HWND window);
// The file name, without its folder, of the process's executable; empty
// when the system does not tell it.
std::string ProcessFileName(DWORD processId) noexcept;

extern TMiscData* MiscData;
