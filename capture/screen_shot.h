#pragma once
// The capture engine's one object: copies what the screen shows inside a
// window's rectangle and holds it until it is written out, as a display
// bitmap when PNG output is available and as a packed DIB otherwise.
#include <windows.h>
#include <cstdint>
#include <initializer_list>
#include <string>

class TScreenShot {
public:
    TScreenShot();
    ~TScreenShot();
    TScreenShot(const TScreenShot&) = delete;
    TScreenShot& operator=(const TScreenShot&) = delete;

    bool CaptureWindow(HWND window);
    void FreeImage();

    bool SaveToFile(const char* fileName);
    bool SaveToFileAndFree(const char* fileName);
    bool SaveWithDialog();
    bool SaveWithDialogAndFree();
    bool CaptureToFolder(HWND window, const char* folder);
    void CaptureAndSaveAs(HWND window);

    HANDLE Image = nullptr;  // HBITMAP while ImageIsBitmap, else a DIB block (HGLOBAL)
    bool PngAvailable = false;
    // PNG files as 8-bit RGB even where a palette would hold every colour.
    bool AlwaysRgb = false;
    bool ImageIsBitmap = false;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
};

HBITMAP GrabWindow(HWND window);
HBITMAP GrabScreenRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

// wsprintfA over up to eight 32-bit arguments; at most 1024 characters.
std::string FormatText(const char* format, std::initializer_list<int32_t> arguments);

// The name a capture gets in a folder: local date and time to the millisecond.
std::string TimeStampedName(const SYSTEMTIME& time, bool png);

extern TScreenShot* ScreenShot;
// The window that owns the save-file dialog: the capture dialog.
extern HWND SaveDialogOwner;
