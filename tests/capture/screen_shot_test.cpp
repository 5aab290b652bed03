#include "capture/dib.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

// Xvfb depth 24 shows as 32 bits per pixel, 16 stays 16 and gives 24-bit
// DIBs, 8 gives 8-bit DIBs with a colour table.
int ExpectedDibBits() {
    switch (ExpectedDisplayDepth()) {
    case 24: return 32;
    case 16: return 24;
    case 8: return 8;
    default: return ScreenBitsPerPixel() == 16 ? 24 : ScreenBitsPerPixel();
    }
}

// Writes the held DIB and checks the file against the pattern window's colours.
void ExpectFileShowsPattern(TScreenShot& shot, const TempDir& dir, int width, int height, int skipX = 0,
                            int skipY = 0, int fullWidth = 0, int fullHeight = 0) {
    if (!fullWidth) fullWidth = width;
    if (!fullHeight) fullHeight = height;
    const std::string path = dir.file("capture.bmp");
    ASSERT_EQ(WriteBmpFile(shot.Image, path.c_str()), 0u);
    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
    ASSERT_EQ(bmp.width, width);
    ASSERT_EQ(bmp.height, height);
    EXPECT_EQ(bmp.bitCount, ExpectedDibBits());
    EXPECT_EQ(bmp.compression, 0u);
    EXPECT_EQ(bmp.offBits, bmp.bitCount == 8 ? 1078u : 54u);
    EXPECT_EQ(bmp.fileSize, bmp.offBits + bmp.stride() * uint32_t(height));
    EXPECT_EQ(bmp.bytes.size(), bmp.fileSize);
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t expected = PatternWindow::ColourAt(x + skipX, y + skipY, fullWidth, fullHeight);
            if (bmp.PixelAt(x, y) != expected && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << bmp.PixelAt(x, y)
                              << " not " << expected;
        }
    EXPECT_EQ(wrong, 0);
}

class CaptureBmp : public ::testing::Test {
protected:
    TScreenShot shot;
    TempDir dir;
};

TEST_F(CaptureBmp, NewObjectHoldsNothingAndIsInBmpMode) {
    EXPECT_FALSE(shot.PngAvailable);
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_FALSE(shot.ImageIsBitmap);
    EXPECT_EQ(shot.ImageWidth, 0);
    EXPECT_EQ(shot.ImageHeight, 0);
}

TEST_F(CaptureBmp, WindowIsCapturedPixelExactAndUpright) {
    PatternWindow window(60, 50, 121, 77);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    EXPECT_FALSE(shot.ImageIsBitmap);
    ExpectFileShowsPattern(shot, dir, 121, 77);
    GlobalLockGuard<BITMAPINFOHEADER> header(shot.Image);
    ASSERT_TRUE(header);
    EXPECT_EQ(header.get()->biSizeImage, uint32_t(ScanLineBytes(121 * header.get()->biBitCount)) * 77);
}

TEST_F(CaptureBmp, OnePixelWideWindow) {
    PatternWindow window(300, 100, 1, 40);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    ExpectFileShowsPattern(shot, dir, 1, 40);
}

TEST_F(CaptureBmp, WindowPartlyOffScreenGivesItsOnScreenPart) {
    {
        PatternWindow window(-30, -20, 100, 60);
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        ExpectFileShowsPattern(shot, dir, 70, 40, 30, 20, 100, 60);
    }
    {
        PatternWindow window(ScreenWidth() - 50, ScreenHeight() - 10, 80, 40);
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        ExpectFileShowsPattern(shot, dir, 50, 10, 0, 0, 80, 40);
    }
}

TEST_F(CaptureBmp, CoveredWindowIsCapturedWithWhatCoversIt) {
    PatternWindow window(200, 200, 80, 80);
    SolidWindow cover(240, 240, 100, 100, 0x00FFFF);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    const std::string path = dir.file("covered.bmp");
    ASSERT_EQ(WriteBmpFile(shot.Image, path.c_str()), 0u);
    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
    EXPECT_EQ(bmp.PixelAt(10, 10), PatternWindow::ColourAt(10, 10, 80, 80));
    EXPECT_EQ(bmp.PixelAt(45, 45), 0x00FFFFu);
    EXPECT_EQ(bmp.PixelAt(79, 79), 0x00FFFFu);
}

TEST_F(CaptureBmp, NothingToCaptureReleasesTheHeldImage) {
    PatternWindow window(10, 10, 20, 20);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));

    PatternWindow offScreen(ScreenWidth() + 100, 10, 40, 40);
    EXPECT_FALSE(shot.CaptureWindow(offScreen.hwnd()));
    EXPECT_EQ(shot.Image, nullptr);

    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    ShowWindow(window.hwnd(), SW_HIDE);
    EXPECT_FALSE(shot.CaptureWindow(window.hwnd()));
    EXPECT_EQ(shot.Image, nullptr);

    ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
    PumpMessages(50);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    EXPECT_FALSE(shot.CaptureWindow(nullptr));
    EXPECT_FALSE(shot.CaptureWindow(reinterpret_cast<HWND>(0x7FFF0)));
    EXPECT_EQ(shot.Image, nullptr);

    // Windows that end exactly at the screen's left or top edge have nothing on it.
    PatternWindow leftOfScreen(-40, 10, 40, 40);
    EXPECT_FALSE(shot.CaptureWindow(leftOfScreen.hwnd()));
    PatternWindow aboveScreen(10, -40, 40, 40);
    EXPECT_FALSE(shot.CaptureWindow(aboveScreen.hwnd()));
    EXPECT_EQ(shot.Image, nullptr);

    shot.FreeImage();  // releasing nothing is harmless
    EXPECT_EQ(shot.Image, nullptr);
}

TEST(GrabScreenRect, ClipsToThePrimaryScreen) {
    const int w = ScreenWidth(), h = ScreenHeight();
    EXPECT_EQ(GrabScreenRect(10, 10, 10, 20), nullptr);
    EXPECT_EQ(GrabScreenRect(10, 10, 20, 5), nullptr);
    EXPECT_EQ(GrabScreenRect(w, 0, w + 50, 50), nullptr);  // touches the edge only
    EXPECT_EQ(GrabScreenRect(-50, -50, 0, 10), nullptr);
    EXPECT_EQ(GrabWindow(nullptr), nullptr);

    UniqueBitmap whole(GrabScreenRect(-5, -5, w + 5, h + 5));
    ASSERT_TRUE(whole);
    BITMAP described{};
    ASSERT_TRUE(GetObjectA(whole.get(), sizeof(described), &described));
    EXPECT_EQ(described.bmWidth, w);
    EXPECT_EQ(described.bmHeight, h);
    EXPECT_EQ(described.bmBitsPixel, ScreenBitsPerPixel());
}

TEST(ScreenShotLife, DestroyingTheObjectReleasesItsImage) {
    PatternWindow window(100, 100, 300, 200);
    const int gdiBefore = LiveGdiObjects();
    const uint64_t memoryBefore = PrivateBytes();
    for (int i = 0; i < 20; ++i) {
        TScreenShot shot;
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    }
    EXPECT_EQ(LiveGdiObjects(), gdiBefore);
    // Twenty leaked 300x200 DIBs would be several megabytes.
    EXPECT_LT(PrivateBytes(), memoryBefore + 1024 * 1024);
}

}  // namespace
