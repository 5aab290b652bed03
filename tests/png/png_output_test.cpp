#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/png_decode.h"
#include "tests/support/bmp_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Runs with the real libpng.dll beside the test program.
class PngCapture : public ::testing::Test {
protected:
    TScreenShot shot;
    TempDir dir;

    // Captures the window, writes the PNG and decodes it.
    void CaptureToPng(HWND window, DecodedPng& png, const std::string& name = "capture.png") {
        ASSERT_TRUE(shot.CaptureWindow(window));
        ASSERT_TRUE(shot.ImageIsBitmap);
        const std::string path = dir.file(name);
        ASSERT_TRUE(WritePngFile(path.c_str(), static_cast<HBITMAP>(shot.Image), shot.ImageWidth, shot.ImageHeight));
        std::string error;
        ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
    }

    static void ExpectPattern(const DecodedPng& png, int skipX, int skipY, int fullWidth, int fullHeight) {
        int wrong = 0;
        for (uint32_t y = 0; y < png.height; ++y)
            for (uint32_t x = 0; x < png.width; ++x) {
                const uint32_t expected = PatternWindow::ColourAt(int(x) + skipX, int(y) + skipY, fullWidth, fullHeight);
                if (png.PixelAt(x, y) != expected && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << png.PixelAt(x, y) << " not "
                                  << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(PngCapture, TheRealLibraryIsBound) {
    ASSERT_TRUE(shot.PngAvailable) << "libpng.dll beside the test program was not bound";
    EXPECT_EQ(PngBinding.Library, GetModuleHandleA("libpng.dll"));
    // libpng has no file functions of its own: both come from the runtime.
    EXPECT_EQ(PngBinding.Runtime, GetModuleHandleA("msvcrt.dll"));
    // Current releases refuse the two historical version strings.
    ASSERT_NE(PngBinding.png_get_libpng_ver, nullptr);
    EXPECT_STREQ(PngBinding.png_get_libpng_ver(nullptr), "1.6.39");
    for (const char* version : {"1.0.1", "1.2.0"}) {
        png_struct_def* png = PngBinding.png_create_write_struct(version, nullptr, nullptr, nullptr);
        EXPECT_EQ(png, nullptr) << version;
        if (png) PngBinding.png_destroy_write_struct(&png, nullptr);
    }
}

TEST_F(PngCapture, FileHoldsExactlyTheExpectedChunksAndPixels) {
    PatternWindow window(70, 60, 131, 77);
    DecodedPng png;
    CaptureToPng(window.hwnd(), png);
    EXPECT_EQ(shot.ImageWidth, 131);
    EXPECT_EQ(shot.ImageHeight, 77);

    ASSERT_GE(png.chunks.size(), 4u);
    EXPECT_EQ(png.chunks.front().type, "IHDR");
    EXPECT_EQ(png.chunks[1].type, "tEXt");
    for (size_t i = 2; i + 1 < png.chunks.size(); ++i) EXPECT_EQ(png.chunks[i].type, "IDAT") << i;
    EXPECT_EQ(png.chunks.back().type, "IEND");
    for (const auto& chunk : png.chunks) EXPECT_TRUE(chunk.crcOk) << chunk.type;

    EXPECT_EQ(png.width, 131u);
    EXPECT_EQ(png.height, 77u);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.colourType, 2);
    EXPECT_EQ(png.compression, 0);
    EXPECT_EQ(png.filter, 0);
    EXPECT_EQ(png.interlace, 0);

    const std::string expectedText = std::string("Software") + '\0' + kPngSoftwareText;
    EXPECT_EQ(std::string(png.chunks[1].data.begin(), png.chunks[1].data.end()), expectedText);

    EXPECT_EQ(png.PixelAt(0, 0), 0xFFFF00u);  // the top row is yellow: upright
    EXPECT_EQ(png.PixelAt(1, 1), 0xFF0000u);  // red top-left quadrant: not mirrored
    ExpectPattern(png, 0, 0, 131, 77);
}

TEST_F(PngCapture, OnePixelWideAndPartlyOffScreenWindows) {
    {
        PatternWindow window(200, 100, 1, 33);
        DecodedPng png;
        CaptureToPng(window.hwnd(), png, "narrow.png");
        EXPECT_EQ(png.width, 1u);
        EXPECT_EQ(png.height, 33u);
        ExpectPattern(png, 0, 0, 1, 33);
    }
    {
        PatternWindow window(-25, ScreenHeight() - 30, 90, 70);
        DecodedPng png;
        CaptureToPng(window.hwnd(), png, "clipped.png");
        EXPECT_EQ(shot.ImageWidth, 65);
        EXPECT_EQ(shot.ImageHeight, 30);
        EXPECT_EQ(png.width, 65u);
        EXPECT_EQ(png.height, 30u);
        ExpectPattern(png, 25, 0, 90, 70);
    }
}

TEST_F(PngCapture, ReleasingTheBitmapClearsTheSize) {
    PatternWindow window(30, 30, 40, 20);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    HGDIOBJ bitmap = shot.Image;
    EXPECT_EQ(GetObjectType(bitmap), DWORD(OBJ_BITMAP));
    shot.FreeImage();
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_FALSE(shot.ImageIsBitmap);
    EXPECT_EQ(shot.ImageWidth, 0);
    EXPECT_EQ(shot.ImageHeight, 0);

    ShowWindow(window.hwnd(), SW_HIDE);
    EXPECT_FALSE(shot.CaptureWindow(window.hwnd()));
    EXPECT_FALSE(shot.ImageIsBitmap);
}

TEST_F(PngCapture, UnopenableFileGivesFalse) {
    PatternWindow window(30, 30, 40, 20);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    EXPECT_FALSE(WritePngFile(dir.file("missing\\x.png").c_str(), static_cast<HBITMAP>(shot.Image), 40, 20));
    EXPECT_FALSE(WritePngFile(nullptr, static_cast<HBITMAP>(shot.Image), 40, 20));
}

TEST_F(PngCapture, RepeatedWritesLeakNothing) {
    PatternWindow window(30, 30, 200, 150);
    const std::string path = dir.file("soak.png");
    auto cycle = [&] {
        const bool ok = shot.CaptureWindow(window.hwnd()) &&
                        WritePngFile(path.c_str(), static_cast<HBITMAP>(shot.Image), shot.ImageWidth, shot.ImageHeight);
        shot.FreeImage();
        return ok;
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(cycle());
    const int gdi = LiveGdiObjects(), handles = OpenKernelHandles();
    const uint64_t memory = PrivateBytes();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(cycle());
    EXPECT_EQ(LiveGdiObjects(), gdi);
    EXPECT_EQ(OpenKernelHandles(), handles);
    EXPECT_LT(PrivateBytes(), memory + 512 * 1024);
    DecodedPng png;
    std::string error;
    ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
    EXPECT_EQ(png.PixelAt(150, 100), PatternWindow::ColourAt(150, 100, 200, 150));
}

}  // namespace

namespace {

// A bitmap of noise, which compresses too poorly to fit the small disk.
HBITMAP NoiseBitmap(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    uint32_t state = 12345;
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) {
        state = state * 1664525u + 1013904223u;
        pixels[i] = state >> 8;
    }
    return bitmap;
}

TEST(PngFullDisk, WriteErrorIsAFailureAndTheHostCarriesOn) {
    const std::string smallDisk = SmallDiskFolder();
    if (smallDisk.empty()) GTEST_SKIP() << "no small file system mounted (run through scripts/test as root)";
    TScreenShot shot;
    ASSERT_TRUE(shot.PngAvailable);
    UniqueBitmap noise(NoiseBitmap(600, 400));
    const std::string full = smallDisk + "\\too-big.png";
    const int gdi = LiveGdiObjects(), handles = OpenKernelHandles();
    EXPECT_FALSE(WritePngFile(full.c_str(), noise.get(), 600, 400));
    EXPECT_EQ(LiveGdiObjects(), gdi);
    EXPECT_EQ(OpenKernelHandles(), handles) << "the output file was left open";
    DeleteFileA(full.c_str());

    TempDir good;
    const std::string path = good.file("after.png");
    ASSERT_TRUE(WritePngFile(path.c_str(), noise.get(), 600, 400));
    DecodedPng png;
    std::string error;
    ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
    EXPECT_EQ(png.width, 600u);
}

}  // namespace
