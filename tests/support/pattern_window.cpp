#include "tests/support/pattern_window.h"

#include "tests/support/screen.h"
#include "tests/support/window_class.h"

#include <vector>

namespace {

constexpr uint32_t kYellow = 0xFFFF00, kMagenta = 0xFF00FF, kRed = 0xFF0000, kGreen = 0x00FF00,
                   kBlue = 0x0000FF, kWhite = 0xFFFFFF;

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void FillPixels(HDC dc, int left, int top, int right, int bottom, uint32_t rgb) {
    if (right <= left || bottom <= top) return;
    HBRUSH brush = CreateSolidBrush(ToColorRef(rgb));
    RECT rect{left, top, right, bottom};
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

struct WindowData {
    int width;
    int height;
    bool solid;
    uint32_t rgb;
    int colours = 0;  // a ColoursWindow's
};

void DrawColours(HDC dc, int width, int height, int first, int colours) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = ColoursWindow::Colour(first + int(i % size_t(colours)));
    SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels.data(), &info,
                      DIB_RGB_COLORS);
}

LRESULT CALLBACK PaintProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        auto* data = reinterpret_cast<WindowData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (data && data->colours > 0) {
            DrawColours(dc, data->width, data->height, 0, data->colours);
        } else if (data && data->solid) {
            FillPixels(dc, 0, 0, data->width, data->height, data->rgb);
        } else if (data) {
            const int w = data->width, h = data->height, midX = w / 2, midY = h / 2;
            FillPixels(dc, 0, 0, midX, midY, kRed);
            FillPixels(dc, midX, 0, w, midY, kGreen);
            FillPixels(dc, 0, midY, midX, h, kBlue);
            FillPixels(dc, midX, midY, w, h, kWhite);
            FillPixels(dc, 0, 0, w, 1, kYellow);
            FillPixels(dc, 0, 1, 1, h, kMagenta);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        delete reinterpret_cast<WindowData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* PaintClass() {
    static const ATOM registered = RegisterWindowClass("PixmerleTestPaint", PaintProc);
    (void)registered;
    return "PixmerleTestPaint";
}

HWND CreatePainted(int x, int y, int width, int height, DWORD extraStyle, WindowData* data) {
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PaintClass(), "pattern",
                                WS_POPUP | extraStyle, x, y, width, height, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) {
        delete data;
        return nullptr;
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    PumpMessages(150);
    return hwnd;
}

}  // namespace

PatternWindow::PatternWindow(int x, int y, int width, int height, DWORD extraStyle)
    : width_(width), height_(height) {
    hwnd_ = CreatePainted(x, y, width, height, extraStyle, new WindowData{width, height, false, 0});
}

PatternWindow::~PatternWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    PumpMessages(30);
}

uint32_t PatternWindow::ColourAt(int x, int y, int width, int height) {
    if (y == 0) return kYellow;
    if (x == 0) return kMagenta;
    const bool right = x >= width / 2, bottom = y >= height / 2;
    if (!bottom) return right ? kGreen : kRed;
    return right ? kWhite : kBlue;
}

SolidWindow::SolidWindow(int x, int y, int width, int height, uint32_t rgb) {
    hwnd_ = CreatePainted(x, y, width, height, 0, new WindowData{width, height, true, rgb});
}

SolidWindow::~SolidWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    PumpMessages(30);
}

ColoursWindow::ColoursWindow(int x, int y, int width, int height, int colours)
    : width_(width), height_(height), colours_(colours) {
    hwnd_ = CreatePainted(x, y, width, height, 0, new WindowData{width, height, false, 0, colours});
}

ColoursWindow::~ColoursWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    PumpMessages(30);
}

uint32_t ColoursWindow::Colour(int index) {
    // Red and blue together name the index; green only varies the picture.
    const uint32_t i = uint32_t(index);
    return (i & 0xFF) << 16 | ((i * 37) & 0xFF) << 8 | (0x40 + (i >> 8));
}

uint32_t ColoursWindow::ColourAt(int x, int y) const { return Colour((y * width_ + x) % colours_); }

void ColoursWindow::Draw(int first, int colours) const {
    HDC dc = GetDC(hwnd_);
    if (!dc) return;
    DrawColours(dc, width_, height_, first, colours);
    ReleaseDC(hwnd_, dc);
}
