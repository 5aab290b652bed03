#include "tests/faults/fault_support.h"

#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_class.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The plug-in fixes its output format when it is loaded, from the PNG
// library it finds: it is loaded before any test brings one of its own.
class PluginLoadedFirst : public ::testing::Environment {
public:
    void SetUp() override { PluginModule(); }
};

::testing::Environment* const pluginLoadedFirst = ::testing::AddGlobalTestEnvironment(new PluginLoadedFirst);

}  // namespace

bool PngBuild() { return PIXMERLE_FAULTS_PNG != 0; }

const char* CaptureExtension() { return PngBuild() ? ".png" : ".bmp"; }

void ExpectOnlyCaptureOf(const PatternWindow& target, const std::string& folder) {
    const std::vector<std::string> files = FilesIn(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), CaptureExtension());
    EXPECT_EQ(CaptureFileMismatch(folder + "\\" + files[0], target.width(), target.height(),
                                  [&target](int x, int y) { return target.ColourAt(x, y); }),
              "");
}

void ExpectCaptureOf(CaptureDialog& dialog, const PatternWindow& target, const TempDir& dir) {
    ASSERT_TRUE(dialog.DragTo(Centre(WindowRect(target.hwnd()))));
    ASSERT_TRUE(dialog.TakeCapture());
    ExpectOnlyCaptureOf(target, dir.path());
}

// ---------------------------------------------------------------- noise

namespace {

constexpr uint32_t kPureColours[8] = {0x000000, 0xFF0000, 0x00FF00, 0xFFFF00,
                                      0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

LRESULT CALLBACK NoiseProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        const int width = client.right, height = client.bottom;
        std::vector<uint32_t> pixels(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels[size_t(y) * size_t(width) + size_t(x)] = NoiseWindow::ColourAt(x, y);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, DWORD(width), DWORD(height), 0, 0, 0, UINT(height), pixels.data(), &info,
                          DIB_RGB_COLORS);
        EndPaint(hwnd, &paint);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

NoiseWindow::NoiseWindow(int x, int y, int width, int height) {
    static const ATOM registered = RegisterWindowClass("PixmerleFaultNoise", NoiseProc);
    (void)registered;
    hwnd_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "PixmerleFaultNoise", "noise", WS_POPUP, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
    PumpMessages(150);
}

NoiseWindow::~NoiseWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    PumpMessages(30);
}

uint32_t NoiseWindow::ColourAt(int x, int y) {
    uint32_t hash = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    hash ^= hash >> 15;
    hash *= 0x2C1B3C6Du;
    hash ^= hash >> 12;
    return kPureColours[(hash >> 7) & 7];
}
