#pragma once
// A top-most pop-up window painted with a pattern whose every pixel colour
// is known: four quadrants of pure colours, a yellow top row and a magenta
// left column, so flips and one-pixel shifts show. Only channel values 0 and
// 255 are used, which every display depth shows exactly.
#include <windows.h>
#include <cstdint>

class PatternWindow {
public:
    PatternWindow(int x, int y, int width, int height, DWORD extraStyle = 0);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The colour painted at window coordinates (x, y), as 0x00RRGGBB.
    static uint32_t ColourAt(int x, int y, int width, int height);
    uint32_t ColourAt(int x, int y) const { return ColourAt(x, y, width_, height_); }

private:
    HWND hwnd_ = nullptr;
    int width_;
    int height_;
};

// A window of a chosen number of distinct colours, one pixel after another
// along the rows from the top left, over again from the first when all have
// been shown. Exact at depth 24 only.
class ColoursWindow {
public:
    ColoursWindow(int x, int y, int width, int height, int colours);
    ~ColoursWindow();
    ColoursWindow(const ColoursWindow&) = delete;
    ColoursWindow& operator=(const ColoursWindow&) = delete;
    HWND hwnd() const { return hwnd_; }
    // The colour of number `index`, as 0x00RRGGBB: distinct for 0 to 49151.
    static uint32_t Colour(int index);
    // What painting shows at window coordinates (x, y).
    uint32_t ColourAt(int x, int y) const;
    // Draws `colours` colours from number `first` on straight into the
    // window, from any thread, until the window paints itself again.
    void Draw(int first, int colours) const;

private:
    HWND hwnd_ = nullptr;
    int width_;
    int height_;
    int colours_;
};

// A window filled with one colour.
class SolidWindow {
public:
    SolidWindow(int x, int y, int width, int height, uint32_t rgb);
    ~SolidWindow();
    SolidWindow(const SolidWindow&) = delete;
    SolidWindow& operator=(const SolidWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};
