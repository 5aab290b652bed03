#include "capture/dib.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_file.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// The colour of the test bitmap at (x, y): blue, with red on odd columns and
// green on odd rows. Only channel values 0 and 255, which every depth shows.
uint32_t PatternColour(int x, int y) { return 0x0000FFu | (x & 1 ? 0xFF0000u : 0) | (y & 1 ? 0x00FF00u : 0); }

// A device-dependent bitmap painted with PatternColour.
HBITMAP MakePatternBitmap(int width, int height) {
    WindowDc screen(nullptr);
    UniqueDc memory(CreateCompatibleDC(screen.get()));
    HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), width, height);
    Selection selected(memory.get(), bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t rgb = PatternColour(x, y);
            SetPixel(memory.get(), x, y, RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF));
        }
    return bitmap;
}

TEST(DibSizes, ScanLinesArePaddedToFourBytes) {
    EXPECT_EQ(ScanLineBytes(0), 0);
    EXPECT_EQ(ScanLineBytes(1), 4);       // 1-bit, 1 pixel
    EXPECT_EQ(ScanLineBytes(24), 4);      // 24-bit, 1 pixel: 3 bytes and 1 filling
    EXPECT_EQ(ScanLineBytes(32 * 3), 12);  // 32-bit rows need no filling
    EXPECT_EQ(ScanLineBytes(24 * 5), 16);
    EXPECT_EQ(ScanLineBytes(33), 8);
}

TEST(DibSizes, ColourTableFollowsBitCountUnlessColoursAreCounted) {
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    const std::pair<WORD, uint32_t> expected[] = {{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {32, 0}};
    for (auto [bits, colours] : expected) {
        header.biBitCount = bits;
        EXPECT_EQ(DibColorCount(&header), colours) << bits;
        EXPECT_EQ(DibColorTableSize(&header), colours * 4) << bits;
    }
    header.biBitCount = 8;
    header.biClrUsed = 17;
    EXPECT_EQ(DibColorCount(&header), 17u);
    EXPECT_EQ(DibColorTableSize(&header), 68u);

    EXPECT_TRUE(IsInfoHeader(&header));
    header.biSize = 108;  // a V4 header is not the 40-byte one
    EXPECT_FALSE(IsInfoHeader(&header));
}

TEST(DibSizes, BitCountRaisedToNextDibFormat) {
    const std::pair<int32_t, int32_t> expected[] = {{0, 1},  {1, 1},   {2, 4},   {4, 4},   {5, 8},   {8, 8},
                                                    {9, 24}, {15, 24}, {16, 24}, {24, 24}, {25, 32}, {32, 32},
                                                    {33, 33}, {64, 64}};
    for (auto [depth, bits] : expected) EXPECT_EQ(DibBitCountForDepth(depth), bits) << depth;
}

TEST(DisplayColours, CountMatchesScreenDepthAndSaturates) {
    WindowDc screen(nullptr);
    const int bits = ScreenBitsPerPixel();
    const int depth = ExpectedDisplayDepth();
    if (depth != 0) {
        EXPECT_EQ(bits, depth == 24 ? 32 : depth) << "Wine's pixel size on an Xvfb screen of depth " << depth;
    }
    const int32_t expected = bits >= 31 ? INT32_MAX : (int32_t(1) << bits);
    EXPECT_EQ(DisplayColorCount(screen.get()), expected);

    UniquePalette palette(CreateSystemPalette());
    if (bits > 8) {
        EXPECT_FALSE(palette);
    } else {
        ASSERT_TRUE(palette);
        EXPECT_EQ(GetPaletteEntries(palette.get(), 0, 0, nullptr), UINT(1) << bits);
    }
}

TEST(BitmapToDib, RefusesMissingBitmapAndOddBitCounts) {
    EXPECT_EQ(BitmapToDib(nullptr, 24, nullptr), nullptr);
    UniqueBitmap bitmap(MakePatternBitmap(3, 2));
    for (int bits : {0, 2, 15, 16, 33}) EXPECT_EQ(BitmapToDib(bitmap.get(), bits, nullptr), nullptr) << bits;
}

class WriteBmp : public ::testing::Test {
protected:
    TempDir dir;
};

// A 7 x 4 bitmap at every bit count, converted and written. The sizes are
// worked out by hand: rows of 7 pixels take 1, 4, 7, 21 or 28 bytes,
// padded to 4, 4, 8, 24 and 28; tables of 2, 16 and 256 colours take 8, 64
// and 1024 bytes.
TEST_F(WriteBmp, EveryBitCountGivesExactSizesAndThePixelsUpright) {
    struct Expected {
        int bits;
        uint32_t table, sizeImage, block, file;
    };
    const Expected expected[] = {
        {1, 8, 16, 64, 78},
        {4, 64, 16, 120, 134},
        {8, 1024, 32, 1096, 1110},
        {24, 0, 96, 136, 150},
        {32, 0, 112, 152, 166},
    };
    UniqueBitmap bitmap(MakePatternBitmap(7, 4));
    for (const Expected& e : expected) {
        SCOPED_TRACE(testing::Message() << e.bits << " bits");
        UniqueGlobal dib(BitmapToDib(bitmap.get(), e.bits, nullptr));
        ASSERT_TRUE(dib);
        EXPECT_EQ(GlobalSize(dib.get()), e.block);
        {
            GlobalLockGuard<BITMAPINFOHEADER> header(dib.get());
            ASSERT_TRUE(header);
            EXPECT_EQ(header.get()->biSize, 40u);
            EXPECT_EQ(header.get()->biWidth, 7);
            EXPECT_EQ(header.get()->biHeight, 4);
            EXPECT_EQ(header.get()->biPlanes, 1);
            EXPECT_EQ(header.get()->biBitCount, e.bits);
            EXPECT_EQ(header.get()->biCompression, DWORD(BI_RGB));
        }
        const std::string path = dir.file("out" + std::to_string(e.bits) + ".bmp");
        ASSERT_EQ(WriteBmpFile(dib.get(), path.c_str()), 0u);

        BmpFile bmp;
        std::string error;
        ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
        EXPECT_EQ(bmp.type, 0x4D42);
        EXPECT_EQ(bmp.offBits, 54 + e.table);
        EXPECT_EQ(bmp.fileSize, e.file);
        EXPECT_EQ(bmp.bytes.size(), e.file);
        EXPECT_EQ(bmp.reserved1, 0);
        EXPECT_EQ(bmp.reserved2, 0);
        EXPECT_EQ(bmp.sizeImage, e.sizeImage);
        EXPECT_EQ(bmp.bitCount, e.bits);
        EXPECT_EQ(bmp.compression, 0u);
        // Two colours cannot show the pattern; 16 and more hold its four exactly.
        if (e.bits >= 4) {
            EXPECT_EQ(CaptureFileMismatch(path, 7, 4, PatternColour), "");
        }
    }
}

TEST_F(WriteBmp, WritingOverALongerFileReplacesIt) {
    UniqueBitmap bitmap(MakePatternBitmap(9, 9));
    UniqueGlobal dib(BitmapToDib(bitmap.get(), 24, nullptr));
    const std::string path = dir.file("twice.bmp");
    {
        UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::vector<char> junk(100000, 'x');
        DWORD written;
        WriteFile(file.get(), junk.data(), DWORD(junk.size()), &written, nullptr);
    }
    ASSERT_EQ(WriteBmpFile(dib.get(), path.c_str()), 0u);
    EXPECT_EQ(ReadWholeFile(path).size(), 54u + 28u * 9u);  // rows of 27 bytes padded to 28
    EXPECT_EQ(CaptureFileMismatch(path, 9, 9, PatternColour), "");
}

TEST_F(WriteBmp, ErrorCodes) {
    UniqueBitmap bitmap(MakePatternBitmap(2, 2));
    UniqueGlobal dib(BitmapToDib(bitmap.get(), 24, nullptr));
    ASSERT_TRUE(dib);

    const std::string never = dir.file("never.bmp");
    EXPECT_EQ(WriteBmpFile(nullptr, never.c_str()), 6u);
    EXPECT_FALSE(PathExists(never));
    EXPECT_EQ(WriteBmpFile(dib.get(), nullptr), 2u);
    EXPECT_EQ(WriteBmpFile(dib.get(), ""), 2u);
    EXPECT_EQ(WriteBmpFile(dib.get(), dir.file("missing\\x.bmp").c_str()), 4u);
    EXPECT_EQ(WriteBmpFile(dib.get(), dir.path().c_str()), 4u);  // a folder
    EXPECT_EQ(WriteBmpFile(dib.get(), "NUL"), 4u);               // a character device

    // Not a 40-byte header: the file is created and left empty.
    UniqueGlobal odd(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 200));
    {
        GlobalLockGuard<BITMAPINFOHEADER> header(odd.get());
        header.get()->biSize = 12;
    }
    const std::string oddPath = dir.file("odd.bmp");
    EXPECT_EQ(WriteBmpFile(odd.get(), oddPath.c_str()), 13u);
    EXPECT_TRUE(PathExists(oddPath));
    EXPECT_TRUE(ReadWholeFile(oddPath).empty());

    // A block that cannot be locked.
    HGLOBAL discarded = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, 100);
    ASSERT_TRUE(discarded);
    HGLOBAL same = GlobalDiscard(discarded);
    ASSERT_TRUE(same);
    ASSERT_EQ(GlobalLock(same), nullptr);
    EXPECT_EQ(WriteBmpFile(same, dir.file("discarded.bmp").c_str()), 157u);
    GlobalFree(same);
}

TEST_F(WriteBmp, HeaderClaimingMorePixelsThanTheBlockHoldsIsRefused) {
    UniqueBitmap bitmap(MakePatternBitmap(4, 4));
    UniqueGlobal dib(BitmapToDib(bitmap.get(), 24, nullptr));
    {
        GlobalLockGuard<BITMAPINFOHEADER> header(dib.get());
        header.get()->biHeight = 4000;
    }
    const std::string path = dir.file("big.bmp");
    EXPECT_EQ(WriteBmpFile(dib.get(), path.c_str()), 13u);
    EXPECT_TRUE(ReadWholeFile(path).empty());
}

}  // namespace

namespace {

// A write the full disk cuts short reports the disk's error; the next write
// elsewhere succeeds.
TEST(WriteBmpFullDisk, ShortWriteIsAFailureAndTheNextWriteSucceeds) {
    const std::string smallDisk = SmallDiskFolder();
    if (smallDisk.empty()) GTEST_SKIP() << "no small file system mounted (run through scripts/test as root)";
    UniqueBitmap bitmap(MakePatternBitmap(400, 400));
    UniqueGlobal dib(BitmapToDib(bitmap.get(), 32, nullptr));
    ASSERT_TRUE(dib);
    ExpectWriteCutShortByFullDisk(smallDisk, ".bmp", 54 + 400 * 400 * 4, [&](const std::string& path) {
        const uint32_t result = WriteBmpFile(dib.get(), path.c_str());
        EXPECT_TRUE(result == 0 || result == 4) << "error " << result;
        return result == 0;
    });

    TempDir good;
    const std::string path = good.file("after.bmp");
    EXPECT_EQ(WriteBmpFile(dib.get(), path.c_str()), 0u);
    EXPECT_EQ(CaptureFileMismatch(path, 400, 400, PatternColour), "");
}

}  // namespace
