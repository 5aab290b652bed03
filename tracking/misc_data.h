#pragma once
// The target tracker: the window the user points at or has chosen, the
// window carrying the on-screen outline, and the search and drawing that
// picking a window needs.
#include <windows.h>
#include <cstdint>

// The target as it was when selected; emptied as a whole by Clear.
struct TargetSnapshot {
    HWND TargetWnd;
    HWND FramedWnd;
};

class TMiscData {
public:
    TMiscData();
    ~TMiscData();
    TMiscData(const TMiscData&) = delete;
    TMiscData& operator=(const TMiscData&) = delete;

    void Clear();
    void SelectTarget(HWND window, HWND owner);
    void FlashTarget();
    bool CheckTargetProcess(HWND panel);
    void EnablePanelControls(HWND panel, bool enable);
    void RevealTarget(HWND window);
    void RehideTarget(HWND window);

    bool HasTarget = false;
    TargetSnapshot Snapshot{};
    bool ForeignProcess = false;
    POINT CursorPos{};
    bool Revealed = false;
    bool CopyTextOnSelect = false;
    HCURSOR DragCursor = nullptr;
    bool RevealHidden = false;
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

extern TMiscData* MiscData;
