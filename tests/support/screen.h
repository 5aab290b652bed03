#pragma once
// Reading what the screen shows, and letting Wine put drawing on it.
#include <windows.h>
#include <cstdint>
#include <vector>

// Dispatches this thread's messages for about the given time. Wine pushes
// pending drawing to the X server only while a thread waits for messages.
void PumpMessages(DWORD milliseconds);

// The screen's pixels inside a rectangle, row by row from the top, as 0x00RRGGBB.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};
ScreenPixels ReadScreen(const RECT& rect);

int ScreenWidth();
int ScreenHeight();
int ScreenBitsPerPixel();
// The Xvfb depth the test runs on (PIXMERLE_DEPTH), or 0 when not set.
int ExpectedDisplayDepth();
