#pragma once
// The capture engine's one object: copies what the screen shows inside a
// window's rectangle and holds it until it is written out, as a display
// bitmap when PNG output is available and as a packed DIB otherwise.
#include <windows.h>
#include <cstdint>

class TScreenShot {
public:
    TScreenShot();
    ~TScreenShot();
    TScreenShot(const TScreenShot&) = delete;
    TScreenShot& operator=(const TScreenShot&) = delete;

    bool CaptureWindow(HWND window);
    void FreeImage();

    HANDLE Image = nullptr;  // HBITMAP while ImageIsBitmap, else a DIB block (HGLOBAL)
    bool PngAvailable = false;
    bool ImageIsBitmap = false;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
};

HBITMAP GrabWindow(HWND window);
HBITMAP GrabScreenRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

extern TScreenShot* ScreenShot;
