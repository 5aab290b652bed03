#include "capture/dib.h"
#include "capture/screen_shot.h"
#include "tests/support/bmp_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct Usage {
    int gdiObjects;
    int kernelHandles;
    uint64_t privateBytes;
};

Usage Measure() { return {LiveGdiObjects(), OpenKernelHandles(), PrivateBytes()}; }

bool CaptureAndWrite(TScreenShot& shot, HWND window, const std::string& path) {
    const bool captured = shot.CaptureWindow(window);
    const bool written = captured && WriteBmpFile(shot.Image, path.c_str()) == 0;
    shot.FreeImage();
    return written;
}

TEST(Soak, CaptureAndWriteCyclesHoldNothingBack) {
    constexpr int kWarmUp = 20;
    constexpr int kCycles = 300;
    PatternWindow window(40, 40, 320, 240);
    TScreenShot shot;
    TempDir dir;
    const std::string path = dir.file("soak.bmp");

    for (int i = 0; i < kWarmUp; ++i) ASSERT_TRUE(CaptureAndWrite(shot, window.hwnd(), path));
    const Usage before = Measure();
    int failures = 0;
    for (int i = 0; i < kCycles; ++i)
        if (!CaptureAndWrite(shot, window.hwnd(), path)) ++failures;
    const Usage after = Measure();

    std::printf("soak: %d cycles, GDI objects %d -> %d, kernel handles %d -> %d, private bytes %llu -> %llu\n",
                kCycles, before.gdiObjects, after.gdiObjects, before.kernelHandles, after.kernelHandles,
                static_cast<unsigned long long>(before.privateBytes),
                static_cast<unsigned long long>(after.privateBytes));
    EXPECT_EQ(failures, 0);
    EXPECT_GT(before.gdiObjects, 0) << "the GDI object count is not observable";
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.kernelHandles, before.kernelHandles);
    // One leaked 320x240 DIB per cycle would add at least 300 * 230 KB.
    EXPECT_LT(after.privateBytes, before.privateBytes + 512 * 1024);

    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
    EXPECT_EQ(bmp.PixelAt(200, 200), PatternWindow::ColourAt(200, 200, 320, 240));
}

// The walk over the handle table must see objects come and go, or the soak
// above proves nothing.
TEST(Soak, LiveObjectCountSeesCreationAndDeletion) {
    const int before = LiveGdiObjects();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(LiveGdiObjects(), before + 1);
    DeleteObject(brush);
    EXPECT_EQ(LiveGdiObjects(), before);

    const int handles = OpenKernelHandles();
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(OpenKernelHandles(), handles + 1);
    CloseHandle(event);
    EXPECT_EQ(OpenKernelHandles(), handles);

    const uint64_t bytes = PrivateBytes();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4 * 1024 * 1024);
    EXPECT_GE(PrivateBytes(), bytes + 4 * 1024 * 1024);
    GlobalFree(block);
}

}  // namespace
