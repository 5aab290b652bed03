// PNG output through the real libpng.dll beside the test program: the
// binding, the chunks of the file, and writes that fail. The pixels of
// captures in PNG mode are checked in capture_output_test.cpp.
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_file.h"
#include "tests/support/pattern_window.h"
#include "tests/support/png_decode.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"
#include "tests/support/screen_content.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

class PngCapture : public ::testing::Test {
protected:
    TScreenShot shot;
    TempDir dir;
};

bool PalettesBound() { return PngBinding.png_set_PLTE && PngBinding.png_set_packing; }

const char kSoftwareChunk[] = "Software\0Pixmerle 1.1.7 window capture";

std::string ChunkText(const PngChunk& chunk) { return std::string(chunk.data.begin(), chunk.data.end()); }

TEST_F(PngCapture, TheRealLibraryIsBoundAndWritesThroughItsOwnVersion) {
    ASSERT_TRUE(shot.PngAvailable) << "libpng.dll beside the test program was not bound";
    const HMODULE library = GetModuleHandleA("libpng.dll");
    EXPECT_EQ(PngBinding.Library, library);
    // libpng has no file functions of its own: both come from the runtime.
    EXPECT_EQ(PngBinding.Runtime, GetModuleHandleA("msvcrt.dll"));
    EXPECT_EQ(reinterpret_cast<void*>(PngBinding.png_get_libpng_ver),
              reinterpret_cast<void*>(GetProcAddress(library, "png_get_libpng_ver")));
    // The plain copy lacks the optional functions, palettes' among them.
    const bool plain = GetProcAddress(library, "png_set_filter") == nullptr;
    EXPECT_EQ(reinterpret_cast<void*>(PngBinding.png_set_PLTE),
              reinterpret_cast<void*>(GetProcAddress(library, "png_set_PLTE")));
    EXPECT_EQ(PalettesBound(), !plain);
    // This library refuses both fixed version strings, so every file written
    // in this program goes through the version the library reports.
    for (const char* version : {"1.0.1", "1.2.0"}) {
        png_struct_def* png = PngBinding.png_create_write_struct(version, nullptr, nullptr, nullptr);
        EXPECT_EQ(png, nullptr) << version << " is accepted: the fallback to the library's own version is not tested";
        if (png) PngBinding.png_destroy_write_struct(&png, nullptr);
    }
}

TEST_F(PngCapture, FileHoldsExactlyTheExpectedChunks) {
    PatternWindow window(70, 60, 131, 77);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    ASSERT_TRUE(shot.ImageIsBitmap);
    const std::string path = dir.file("capture.png");
    ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
    DecodedPng png;
    std::string error;
    ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;

    // Six colours: a palette image at 4 bits where the library writes them.
    const size_t text = PalettesBound() ? 2 : 1;
    ASSERT_GE(png.chunks.size(), text + 3);
    EXPECT_EQ(png.chunks.front().type, "IHDR");
    if (PalettesBound()) {
        EXPECT_EQ(png.chunks[1].type, "PLTE");
    }
    EXPECT_EQ(png.chunks[text].type, "tEXt");
    for (size_t i = text + 1; i + 1 < png.chunks.size(); ++i) EXPECT_EQ(png.chunks[i].type, "IDAT") << i;
    EXPECT_EQ(png.chunks.back().type, "IEND");
    for (const auto& chunk : png.chunks) EXPECT_TRUE(chunk.crcOk) << chunk.type;

    EXPECT_EQ(png.width, 131u);
    EXPECT_EQ(png.height, 77u);
    EXPECT_EQ(png.bitDepth, PalettesBound() ? 4 : 8);
    EXPECT_EQ(png.colourType, PalettesBound() ? 3 : 2);
    EXPECT_EQ(png.compression, 0);
    EXPECT_EQ(png.filter, 0);
    EXPECT_EQ(png.interlace, 0);
    EXPECT_EQ(ChunkText(png.chunks[text]), std::string(kSoftwareChunk, sizeof kSoftwareChunk - 1));
}

// The window draws other colours, now fewer than a palette holds, now more,
// all the while it is captured: each file holds exactly the grabbed pixels.
TEST_F(PngCapture, WindowChangingWhileCapturedGivesExactlyThePixelsGrabbed) {
    if (ExpectedDisplayDepth() != 24) GTEST_SKIP() << "distinct colours are exact at depth 24 only";
    constexpr int kWidth = 120, kHeight = 90;
    ColoursWindow window(60, 50, kWidth, kHeight, 200);
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        for (int frame = 0; !stop; ++frame) window.Draw(frame * 7, frame % 2 ? 100 : 300);
    });
    int indexed = 0, rgb = 0;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<uint32_t> grabbed(size_t(kWidth) * kHeight);
        {
            WindowDc screen(nullptr);
            ASSERT_EQ(GetDIBits(screen.get(), static_cast<HBITMAP>(shot.Image), 0, kHeight, grabbed.data(), &info,
                                DIB_RGB_COLORS),
                      kHeight);
        }
        const std::string path = dir.file("changing.png");
        ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
        EXPECT_EQ(CaptureFileMismatch(path, kWidth, kHeight,
                                      [&](int x, int y) { return grabbed[size_t(y) * kWidth + size_t(x)] & 0xFFFFFF; }),
                  "");
        DecodedPng png;
        std::string error;
        ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
        ++(png.colourType == 3 ? indexed : rgb);
    }
    stop = true;
    painter.join();
    if (PalettesBound()) {
        EXPECT_GT(indexed, 0) << "no capture was indexed: the case tested RGB only";
    }
}

TEST_F(PngCapture, UnopenableFileOrFailedPixelFetchGivesFalseAndNoFile) {
    PatternWindow window(30, 30, 40, 20);
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    EXPECT_FALSE(WritePngFile(dir.file("missing\\x.png").c_str(), static_cast<HBITMAP>(shot.Image), 40, 20));
    EXPECT_FALSE(WritePngFile(nullptr, static_cast<HBITMAP>(shot.Image), 40, 20));
    // A bitmap whose pixels cannot be fetched gives no all-black picture.
    DeleteObject(shot.Image);
    EXPECT_FALSE(WritePngFile(dir.file("gone.png").c_str(), static_cast<HBITMAP>(shot.Image), 40, 20));
    EXPECT_FALSE(PathExists(dir.file("gone.png")));
    EXPECT_FALSE(shot.SaveToFile(dir.file("gone-too.png").c_str()));
    EXPECT_TRUE(dir.Files().empty());
    shot.Image = nullptr;
}

// Noise, which compresses too poorly to fit the small disk: a colour for
// every pixel, as 0x00RRGGBB, rows from the top.
std::vector<uint32_t> Noise(int width, int height) {
    std::vector<uint32_t> colours(size_t(width) * size_t(height));
    uint32_t state = 12345;
    for (uint32_t& colour : colours) {
        state = state * 1664525u + 1013904223u;
        colour = state >> 8;
    }
    return colours;
}

HBITMAP BitmapOf(const std::vector<uint32_t>& colours, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) std::copy(colours.begin(), colours.end(), static_cast<uint32_t*>(bits));
    return bitmap;
}

// Three quarters debugger-like listing, a quarter photo-like picture: the
// settings chosen from a few bands of rows must not give a file much larger
// than the library's defaults do.
TEST_F(PngCapture, MixedContentIsNoLargerThanWithTheLibrarysDefaults) {
    constexpr int kWidth = 640, kHeight = 480, kListingRows = 360;
    for (const bool listingOnTop : {true, false}) {
        SCOPED_TRACE(listingOnTop ? "listing on top" : "photo on top");
        const UniqueBitmap frame(BitmapOf(std::vector<uint32_t>(size_t(kWidth) * kHeight), kWidth, kHeight));
        {
            const UniqueDc dc(CreateCompatibleDC(nullptr));
            Selection selected(dc.get(), frame.get());
            const int listingTop = listingOnTop ? 0 : kHeight - kListingRows;
            SetViewportOrgEx(dc.get(), 0, listingTop, nullptr);
            PaintListing(dc.get(), kWidth, kListingRows);
            SetViewportOrgEx(dc.get(), 0, listingOnTop ? kListingRows : 0, nullptr);
            PaintPhoto(dc.get(), kWidth, kHeight - kListingRows);
        }
        PngImageBuffers buffers;
        ASSERT_TRUE(FetchPngDib(frame.get(), kWidth, kHeight, buffers));
        ASSERT_TRUE(PrepareRows(buffers));
        const std::string chosen = dir.file("chosen.png"), defaults = dir.file("defaults.png");
        ASSERT_TRUE(EncodePngRows(chosen.c_str(), buffers, ChoosePngSettings(buffers)));
        ASSERT_TRUE(EncodePngRows(defaults.c_str(), buffers, PngSettings{}));
        const size_t chosenBytes = ReadWholeFile(chosen).size(), defaultBytes = ReadWholeFile(defaults).size();
        EXPECT_LE(chosenBytes * 100, defaultBytes * 105) << chosenBytes << " bytes, " << defaultBytes
                                                         << " at the library's defaults";
    }
}

// Palette pictures the plug-in compresses itself, built to reach every part
// of its stream: runs longer than a match and than a parse segment, rows
// repeating the row above or a line further up, glyph-like blocks repeated
// across a row, and rows of noise, over several blocks; at every bit depth,
// and down to a single pixel.
TEST_F(PngCapture, PaletteRowsThePlugInCompressesDecodeExactly) {
    if (!PalettesBound() || !PngBinding.png_write_chunk) GTEST_SKIP() << "this library writes no palettes";
    struct Case {
        int width, height, colours;
    };
    for (const Case c : {Case{1, 1, 1}, Case{700, 3, 2}, Case{1283, 1100, 2}, Case{999, 700, 4}, Case{1600, 900, 16},
                         Case{1024, 1100, 256}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", " + std::to_string(c.colours) +
                     " colours");
        std::vector<uint32_t> colours(size_t(c.width) * size_t(c.height));
        auto colourOf = [&](uint32_t index) {
            return ((index % uint32_t(c.colours)) * 0x010203u + 0x102030u) & 0xFFFFFFu;
        };
        uint32_t state = uint32_t(c.colours) * 7919u;
        for (int y = 0; y < c.height; ++y) {
            uint32_t* row = colours.data() + size_t(y) * size_t(c.width);
            state = state * 1664525u + 1013904223u;
            const uint32_t kind = y < 2 ? 0 : (state >> 24) % 6;
            for (int x = 0; x < c.width; ++x) {
                state = state * 1664525u + 1013904223u;
                if (kind == 1) row[x] = row[x - c.width];
                else if (kind == 2 && y >= 16) row[x] = row[x - 16 * c.width];
                else if (kind == 3) row[x] = colourOf(uint32_t((x / 7) % 5 + (x % 7 < 3 ? 0 : 9)));
                else if (kind == 4) row[x] = colourOf(state >> 16);
                else row[x] = colourOf(uint32_t(x > c.width / 3) * uint32_t(y / 40 + 1));
            }
        }
        // Every colour of the palette appears.
        for (int i = 0; i < c.colours && i < c.width * c.height; ++i) colours[size_t(i)] = colourOf(uint32_t(i));
        const UniqueBitmap bitmap(BitmapOf(colours, c.width, c.height));
        PngImageBuffers buffers;
        ASSERT_TRUE(FetchPngDib(bitmap.get(), c.width, c.height, buffers));
        ASSERT_TRUE(PrepareRows(buffers));
        ASSERT_EQ(buffers.Colours, c.colours);
        PngSettings settings{6, -1, kPngFilterNone, true};
        const std::string path = dir.file("palette.png");
        ASSERT_TRUE(EncodePngRows(path.c_str(), buffers, settings));
        DecodedPng png;
        std::string error;
        ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
        EXPECT_EQ(png.colourType, 3);
        EXPECT_EQ(png.bitDepth, PaletteBitDepth(c.colours));
        EXPECT_EQ(CaptureFileMismatch(path, c.width, c.height,
                                      [&](int x, int y) { return colours[size_t(y) * size_t(c.width) + size_t(x)]; }),
                  "");
    }
}

// A debugger-like listing: the plug-in's parse is chosen for it and gives a
// smaller file than zlib's slowest lazy parse.
TEST_F(PngCapture, ListingIsSmallerThanAtZlibsHighLevels) {
    if (!PalettesBound() || !PngBinding.png_write_chunk) GTEST_SKIP() << "this library writes no palettes";
    constexpr int kWidth = 1280, kHeight = 1024;
    const UniqueBitmap frame(BitmapOf(std::vector<uint32_t>(size_t(kWidth) * kHeight), kWidth, kHeight));
    {
        const UniqueDc dc(CreateCompatibleDC(nullptr));
        Selection selected(dc.get(), frame.get());
        PaintListing(dc.get(), kWidth, kHeight);
    }
    PngImageBuffers buffers;
    ASSERT_TRUE(FetchPngDib(frame.get(), kWidth, kHeight, buffers));
    ASSERT_TRUE(PrepareRows(buffers));
    const PngSettings chosen = ChoosePngSettings(buffers);
    EXPECT_TRUE(chosen.PlugInDeflate);
    const std::string own = dir.file("own.png"), zlib = dir.file("zlib.png");
    ASSERT_TRUE(EncodePngRows(own.c_str(), buffers, chosen));
    const std::vector<uint8_t> ownFile = ReadWholeFile(own);
    DecodedPng ownPng, zlibPng;
    std::string error;
    ASSERT_TRUE(DecodePng(ownFile, ownPng, error)) << error;
    EXPECT_EQ(std::count_if(ownPng.chunks.begin(), ownPng.chunks.end(),
                            [](const PngChunk& chunk) { return chunk.type == "IDAT"; }),
              1);
    for (const int level : {8, 9}) {
        ASSERT_TRUE(EncodePngRows(zlib.c_str(), buffers, PngSettings{level, -1, kPngFilterNone}));
        const std::vector<uint8_t> zlibFile = ReadWholeFile(zlib);
        EXPECT_LT(ownFile.size(), zlibFile.size()) << "at level " << level;
        // The library's own compression of the same rows: the same picture.
        ASSERT_TRUE(DecodePng(zlibFile, zlibPng, error)) << error;
        EXPECT_TRUE(zlibPng.rgb == ownPng.rgb) << "at level " << level;
    }
}

// A write the full disk cuts short fails, leaking nothing, and the next
// write elsewhere succeeds.
TEST(PngFullDisk, WriteErrorIsAFailureAndTheHostCarriesOn) {
    const std::string smallDisk = SmallDiskFolder();
    if (smallDisk.empty()) GTEST_SKIP() << "no small file system mounted (run through scripts/test as root)";
    TScreenShot shot;
    ASSERT_TRUE(shot.PngAvailable);
    const std::vector<uint32_t> colours = Noise(600, 400);
    const ColourAt colourAt = [&colours](int x, int y) { return colours[size_t(y) * 600 + size_t(x)]; };
    UniqueBitmap noise(BitmapOf(colours, 600, 400));
    TempDir good;
    const std::string whole = good.file("whole.png");
    ASSERT_TRUE(WritePngFile(whole.c_str(), noise.get(), 600, 400));
    ASSERT_EQ(CaptureFileMismatch(whole, 600, 400, colourAt), "");
    const size_t wholeSize = ReadWholeFile(whole).size();

    ExpectWriteCutShortByFullDisk(smallDisk, ".png", wholeSize, [&](const std::string& path) {
        const Usage before = MeasureUsage();
        const bool written = WritePngFile(path.c_str(), noise.get(), 600, 400);
        const Usage after = MeasureUsage();
        EXPECT_EQ(after.gdiObjects, before.gdiObjects) << Describe(before) << " -> " << Describe(after);
        EXPECT_EQ(after.kernelHandles, before.kernelHandles) << "the output file was left open";
        return written;
    });

    const std::string after = good.file("after.png");
    ASSERT_TRUE(WritePngFile(after.c_str(), noise.get(), 600, 400));
    EXPECT_EQ(CaptureFileMismatch(after, 600, 400, colourAt), "");
}

}  // namespace
