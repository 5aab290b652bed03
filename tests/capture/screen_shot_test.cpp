// The capture object in BMP mode: the file's layout at each display depth,
// the screen grab, the object's life. What a capture gives in either mode is
// in capture_output_test.cpp.
#include "capture/dib.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

class CaptureBmp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(shot.PngAvailable) << "a PNG library was bound"; }

    // Captures the window into a BMP file and reads it back.
    void CaptureToBmp(HWND window, BmpFile& bmp) {
        ASSERT_TRUE(shot.CaptureWindow(window));
        EXPECT_FALSE(shot.ImageIsBitmap);
        const std::string path = dir.file("capture.bmp");
        ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
        std::string error;
        ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
    }

    TScreenShot shot;
    TempDir dir;
};

// A 121 x 77 window at each Xvfb depth: depth 24 shows as 32 bits per pixel
// and gives 32-bit files, 16 gives 24-bit files, 8 gives 8-bit files with a
// colour table of 256 entries. Rows are padded to 4 bytes.
TEST_F(CaptureBmp, FileLayoutFollowsTheDisplayDepth) {
    struct Layout {
        int depth;
        uint16_t bitCount;
        uint32_t offBits, sizeImage, fileSize;
    };
    const Layout layouts[] = {
        {24, 32, 54, 484 * 77, 54 + 484 * 77},
        {16, 24, 54, 364 * 77, 54 + 364 * 77},
        {8, 8, 54 + 1024, 124 * 77, 54 + 1024 + 124 * 77},
    };
    const Layout* layout = nullptr;
    for (const Layout& l : layouts)
        if (l.depth == ExpectedDisplayDepth()) layout = &l;
    if (!layout) GTEST_SKIP() << "no display depth given (PIXMERLE_DEPTH); run through scripts/test";

    PatternWindow window(60, 50, 121, 77);
    BmpFile bmp;
    ASSERT_NO_FATAL_FAILURE(CaptureToBmp(window.hwnd(), bmp));
    EXPECT_EQ(bmp.type, 0x4D42);
    EXPECT_EQ(bmp.bitCount, layout->bitCount);
    EXPECT_EQ(bmp.compression, 0u);
    EXPECT_EQ(bmp.offBits, layout->offBits);
    EXPECT_EQ(bmp.sizeImage, layout->sizeImage);
    EXPECT_EQ(bmp.fileSize, layout->fileSize);
    EXPECT_EQ(bmp.bytes.size(), layout->fileSize);
}

TEST_F(CaptureBmp, CoveredWindowIsCapturedWithWhatCoversIt) {
    PatternWindow window(200, 200, 80, 80);
    SolidWindow cover(240, 240, 100, 100, 0x00FFFF);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    const std::string path = dir.file("covered.bmp");
    ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
    EXPECT_EQ(CaptureFileMismatch(path, 80, 80,
                                  [](int x, int y) {
                                      return x >= 40 && y >= 40 ? 0x00FFFFu : PatternWindow::ColourAt(x, y, 80, 80);
                                  }),
              "");
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

TEST(FormatText, TimeStampedNames) {
    SYSTEMTIME time{};
    time.wYear = 2007;
    time.wMonth = 8;
    time.wDay = 21;
    time.wHour = 14;
    time.wMinute = 5;
    time.wSecond = 9;
    time.wMilliseconds = 123;
    EXPECT_EQ(TimeStampedName(time, true), "2007.08.21_14-05-09,123.png");
    EXPECT_EQ(TimeStampedName(time, false), "2007.08.21_14-05-09,123.bmp");
    EXPECT_EQ(FormatText("%d-%4.4d-%x", {-5, 7, 255}), "-5-0007-ff");
    // The formatter stops at 1024 characters.
    EXPECT_EQ(FormatText(std::string(2000, 'x').c_str(), {}).size(), 1024u);
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

// The counts that the leak checks here and in the fault soak rely on must
// see objects come and go, or those checks prove nothing.
TEST(ScreenShotLife, LiveObjectCountSeesCreationAndDeletion) {
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
