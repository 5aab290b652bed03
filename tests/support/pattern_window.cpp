#include "tests/support/pattern_window.h"

#include "tests/support/screen.h"
#include "tests/support/window_class.h"

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
};

LRESULT CALLBACK PaintProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        auto* data = reinterpret_cast<WindowData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (data && data->solid) {
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
