// What a capture gives in the mode the program runs in: built into the BMP
// program (capture_tests, no PNG library beside it) and into the PNG
// program (png_output_tests, the real libpng.dll beside it), so that every
// case runs once in each mode.
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_file.h"
#include "tests/support/capture_name.h"
#include "tests/support/pattern_window.h"
#include "tests/support/png_decode.h"
#include "tests/support/save_dialog.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct OutputFormat {
    bool png;
    const char* extension;
    const char* filter;          // the save dialog's one file type
    const char* otherExtension;  // of the other format
};

const OutputFormat kFormat = PIXMERLE_PNG_MODE ? OutputFormat{true, "png", "PNG files", "bmp"}
                                               : OutputFormat{false, "bmp", "Bitmap files", "png"};

// The format of a file by its first bytes.
std::string ContentFormat(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') return "png";
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return "bmp";
    return "neither";
}

// A file of the mode's format showing the whole pattern window; empty when it does.
std::string FileOfWindowMismatch(const std::string& path, const PatternWindow& window) {
    if (ContentFormat(path) != kFormat.extension) return path + " is not a " + kFormat.extension + " file";
    return CaptureFileMismatch(path, window.width(), window.height(),
                               [&window](int x, int y) { return window.ColourAt(x, y); });
}

class CaptureOutput : public ::testing::TestWithParam<OutputFormat> {
protected:
    void SetUp() override {
        ASSERT_EQ(shot.PngAvailable, GetParam().png) << "this program runs in the wrong capture mode";
    }
    TScreenShot shot;
    TempDir dir;
};

// A window wholly or partly on the screen: the file holds exactly its
// on-screen part, upright and not mirrored.
TEST_P(CaptureOutput, FileHoldsTheWindowsOnScreenPixels) {
    const int screenWidth = ScreenWidth(), screenHeight = ScreenHeight();
    struct Placement {
        const char* what;
        int x, y, width, height;
        int shownX, shownY, shownWidth, shownHeight;  // the part on the screen, in window coordinates
        bool flat = false;                            // one colour all over instead of the pattern
    };
    constexpr uint32_t kFlat = 0xFFFF00;
    const Placement placements[] = {
        {"whole, odd width", 60, 50, 121, 77, 0, 0, 121, 77},
        {"one pixel wide", 300, 100, 1, 40, 0, 0, 1, 40},
        {"one pixel high", 300, 100, 40, 1, 0, 0, 40, 1},
        {"one pixel", 300, 100, 1, 1, 0, 0, 1, 1},
        {"one flat colour", 60, 50, 203, 150, 0, 0, 203, 150, true},
        {"over the top-left corner", -30, -20, 100, 60, 30, 20, 70, 40},
        {"over the bottom-right corner", screenWidth - 50, screenHeight - 10, 80, 40, 0, 0, 50, 10},
    };
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.what);
        std::unique_ptr<PatternWindow> pattern;
        std::unique_ptr<SolidWindow> flat;
        if (p.flat)
            flat = std::make_unique<SolidWindow>(p.x, p.y, p.width, p.height, kFlat);
        else
            pattern = std::make_unique<PatternWindow>(p.x, p.y, p.width, p.height);
        ASSERT_TRUE(shot.CaptureWindow(p.flat ? flat->hwnd() : pattern->hwnd()));
        const std::string path = dir.file(std::string("capture.") + GetParam().extension);
        ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
        EXPECT_EQ(shot.Image, nullptr);
        EXPECT_EQ(ContentFormat(path), GetParam().extension);
        EXPECT_EQ(CaptureFileMismatch(path, p.shownWidth, p.shownHeight,
                                      [&](int x, int y) {
                                          return p.flat ? kFlat
                                                        : PatternWindow::ColourAt(x + p.shownX, y + p.shownY,
                                                                                  p.width, p.height);
                                      }),
                  "");
    }
}

// On an 8-bit display the BMP file's colour table is the system palette, and
// in either format every pixel shows the colour painted: the pattern's pure
// colours, and along the bottom, in windows laid over it, the palette's
// entries 1 to 9.
TEST_P(CaptureOutput, EightBitDisplayGivesTheSystemPaletteAndThePaintedColours) {
    if (ExpectedDisplayDepth() != 8) GTEST_SKIP() << "only an 8-bit display has a system palette";
    PALETTEENTRY system[256];
    {
        WindowDc screen(nullptr);
        ASSERT_EQ(GetSystemPaletteEntries(screen.get(), 0, 256, system), 256u);
    }
    std::vector<uint32_t> palette;
    for (const PALETTEENTRY& e : system) palette.push_back(uint32_t(e.peRed) << 16 | e.peGreen << 8 | e.peBlue);
    PatternWindow window(100, 100, 90, 60);
    std::vector<std::unique_ptr<SolidWindow>> stripes;
    for (int i = 1; i <= 9; ++i)
        stripes.push_back(std::make_unique<SolidWindow>(100 + (i - 1) * 10, 140, 10, 20, palette[size_t(i)]));
    ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
    const std::string path = dir.file(std::string("eight.") + GetParam().extension);
    ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
    EXPECT_EQ(CaptureFileMismatch(path, 90, 60,
                                  [&](int x, int y) {
                                      return y >= 40 ? palette[size_t(x / 10 + 1)] : window.ColourAt(x, y);
                                  }),
              "");
    if (GetParam().png) return;
    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(ReadWholeFile(path), bmp, error)) << error;
    EXPECT_EQ(bmp.colourTable, palette);
}

// Whatever makes a window give no picture, the capture fails, gives back
// the image held from the capture before, and writes no file.
TEST_P(CaptureOutput, WindowThatCannotBeCapturedGivesNothingAndReleasesTheHeldImage) {
    EXPECT_EQ(shot.Image, nullptr) << "a new object holds an image";
    const int screenWidth = ScreenWidth(), screenHeight = ScreenHeight();
    struct Uncapturable {
        const char* what;
        std::function<std::unique_ptr<PatternWindow>(HWND&)> make;  // sets the handle to capture
    };
    const auto placed = [](int x, int y, int width, int height) {
        return [=](HWND& target) {
            auto window = std::make_unique<PatternWindow>(x, y, width, height);
            target = window->hwnd();
            return window;
        };
    };
    const Uncapturable cases[] = {
        {"no window", [](HWND& target) { target = nullptr; return nullptr; }},
        {"a destroyed window",
         [](HWND& target) {
             PatternWindow gone(10, 10, 40, 40);
             target = gone.hwnd();
             return nullptr;
         }},
        {"a hidden window",
         [](HWND& target) {
             auto window = std::make_unique<PatternWindow>(10, 10, 40, 40);
             ShowWindow(window->hwnd(), SW_HIDE);
             target = window->hwnd();
             return window;
         }},
        {"a window of zero size", placed(10, 10, 0, 0)},
        {"a window right of the screen", placed(screenWidth + 100, 10, 40, 40)},
        {"a window ending at the screen's left edge", placed(-40, 10, 40, 40)},
        {"a window ending at the screen's top edge", placed(10, -40, 40, 40)},
        {"a window starting at the screen's bottom edge", placed(10, screenHeight, 40, 40)},
    };
    PatternWindow good(100, 100, 30, 20);
    for (const Uncapturable& c : cases) {
        SCOPED_TRACE(c.what);
        HWND target = nullptr;
        const std::unique_ptr<PatternWindow> window = c.make(target);
        ASSERT_TRUE(shot.CaptureWindow(good.hwnd()));
        const HANDLE held = shot.Image;
        EXPECT_FALSE(shot.CaptureWindow(target));
        EXPECT_EQ(shot.Image, nullptr);
        EXPECT_FALSE(shot.ImageIsBitmap);
        EXPECT_EQ(shot.ImageWidth, 0);
        EXPECT_EQ(shot.ImageHeight, 0);
        if (GetParam().png)
            EXPECT_EQ(GetObjectType(held), 0u) << "the held bitmap was not deleted";
        else
            EXPECT_EQ(GlobalSize(held), 0u) << "the held DIB was not freed";
        EXPECT_FALSE(shot.SaveToFile(dir.file("nothing").c_str()));
        EXPECT_FALSE(shot.CaptureToFolder(target, dir.path().c_str()));
        EXPECT_EQ(dir.Files(), std::vector<std::string>{});
    }
}

TEST_P(CaptureOutput, FolderWithAndWithoutSeparatorGetsTimeOrderedNames) {
    PatternWindow window(80, 80, 64, 48);
    SYSTEMTIME before;
    GetLocalTime(&before);
    ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str()));
    Sleep(20);
    ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), (dir.path() + "\\").c_str()));
    Sleep(20);
    std::string slashed = dir.path();
    for (char& c : slashed)
        if (c == '\\') c = '/';
    ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), (slashed + "/").c_str()));
    SYSTEMTIME after;
    GetLocalTime(&after);
    EXPECT_EQ(shot.Image, nullptr);

    const auto files = dir.Files();
    ASSERT_EQ(files.size(), 3u);
    uint64_t previous = 0;
    for (const auto& name : files) {
        ASSERT_TRUE(IsCaptureName(name, GetParam().extension)) << name;
        EXPECT_EQ(FileOfWindowMismatch(dir.file(name), window), "");
        const uint64_t stamp = Ticks(TimeOfCaptureName(name));
        EXPECT_GE(stamp, Ticks(before) - Ticks(before) % 10000);
        EXPECT_LE(stamp, Ticks(after));
        EXPECT_GT(stamp, previous) << "names sort in the order taken";
        previous = stamp;
    }
}

TEST_P(CaptureOutput, MissingOrOverlongFolderGivesFalseAndHoldsNothing) {
    PatternWindow window(80, 80, 64, 48);
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), dir.file("missing").c_str()));
    EXPECT_EQ(shot.Image, nullptr);
    const std::string overlong = dir.path() + "\\" + std::string(300, 'a');
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), overlong.c_str()));
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_FALSE(PathExists(dir.file("missing")));
    EXPECT_FALSE(shot.SaveWithDialog()) << "a save dialog without an image";
}

// The dialog offers the mode's one file type, adds its extension to a bare
// name, replaces an existing file without asking, and a name with the
// other format's extension still gets the mode's content.
TEST_P(CaptureOutput, SaveDialogOffersTheModesFormatAndTheModeDecidesTheContent) {
    PatternWindow window(90, 70, 50, 30);
    SaveDialogOwner = window.hwnd();
    const std::string chosen = dir.file(std::string("chosen.") + GetParam().extension);
    {
        FILE* existing = std::fopen(chosen.c_str(), "wb");
        ASSERT_NE(existing, nullptr);
        std::fputs(std::string(100000, 'x').c_str(), existing);
        std::fclose(existing);
    }
    {
        SaveDialogAnswer answer(window.hwnd(), dir.file("chosen"));
        shot.CaptureAndSaveAs(window.hwnd());
        const SaveDialogSeen seen = answer.Result();
        EXPECT_TRUE(seen.appeared);
        EXPECT_TRUE(seen.ownedByOwner);
        EXPECT_EQ(seen.filterCount, 1);
        EXPECT_EQ(seen.filter, GetParam().filter);
    }
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_EQ(FileOfWindowMismatch(chosen, window), "");
    PumpMessages(300);  // repaint what the closed dialog covered

    const std::string other = std::string("named.") + GetParam().otherExtension;
    {
        // Quoted, as a user types a name the dialog must take as it stands.
        SaveDialogAnswer answer(window.hwnd(), "\"" + dir.file(other) + "\"");
        shot.CaptureAndSaveAs(window.hwnd());
        EXPECT_TRUE(answer.Result().appeared);
    }
    EXPECT_EQ(FileOfWindowMismatch(dir.file(other), window), "");
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{std::string("chosen.") + GetParam().extension, other}));
    EXPECT_EQ(shot.Image, nullptr);
}

TEST_P(CaptureOutput, CancellingTheSaveDialogWritesNothing) {
    PatternWindow window(80, 80, 64, 48);
    SaveDialogOwner = window.hwnd();
    SaveDialogAnswer answer(window.hwnd(), "");
    shot.CaptureAndSaveAs(window.hwnd());
    EXPECT_TRUE(answer.Result().appeared);
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_TRUE(dir.Files().empty());
}

// Every file holds the screen's pixels, whatever their number. In PNG mode,
// at most 256 colours give a palette of exactly those at the smallest depth
// that holds them; more, or IsRgb, give RGB; a library without palettes
// always writes RGB.
TEST_P(CaptureOutput, FewColoursGiveAPaletteOfExactlyThoseAndMoreGiveRgb) {
    if (ExpectedDisplayDepth() != 24) GTEST_SKIP() << "distinct colours are exact at depth 24 only";
    struct Case {
        int width, height, colours;
        int depth;  // as a palette image; 0 for RGB
    };
    const Case cases[] = {
        {1, 1, 1, 1},     {97, 31, 1, 1},    {97, 31, 2, 1},   {97, 31, 3, 2},    {97, 31, 4, 2},
        {97, 31, 5, 4},   {97, 31, 16, 4},   {97, 31, 17, 8},  {16, 16, 256, 8},  {97, 31, 256, 8},
        {97, 31, 257, 0}, {257, 1, 257, 0},  {300, 200, 5000, 0},
    };
    const char kSoftware[] = "Software\0Pixmerle 1.1.7 window capture";
    for (const Case& c : cases) {
        for (const bool alwaysRgb : {false, true}) {
            SCOPED_TRACE(std::to_string(c.colours) + " colours in " + std::to_string(c.width) + "x" +
                         std::to_string(c.height) + (alwaysRgb ? ", always RGB" : ""));
            if (alwaysRgb && c.colours != 16) continue;
            ColoursWindow window(60, 50, c.width, c.height, c.colours);
            shot.AlwaysRgb = alwaysRgb;
            ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
            const std::string path = dir.file(std::string("colours.") + GetParam().extension);
            ASSERT_TRUE(shot.SaveToFileAndFree(path.c_str()));
            EXPECT_EQ(CaptureFileMismatch(path, c.width, c.height,
                                          [&window](int x, int y) { return window.ColourAt(x, y); }),
                      "");
            if (!GetParam().png) continue;
            DecodedPng png;
            std::string error;
            ASSERT_TRUE(DecodePng(ReadWholeFile(path), png, error)) << error;
            const bool indexed = PngBinding.png_set_PLTE && PngBinding.png_set_packing && !alwaysRgb && c.depth > 0;
            EXPECT_EQ(png.colourType, indexed ? 3 : 2);
            EXPECT_EQ(png.bitDepth, indexed ? c.depth : 8);
            EXPECT_EQ(png.palette.size(), indexed ? size_t(c.colours) : 0u);
            const auto text = std::find_if(png.chunks.begin(), png.chunks.end(),
                                           [](const PngChunk& chunk) { return chunk.type == "tEXt"; });
            ASSERT_NE(text, png.chunks.end());
            EXPECT_EQ(std::string(text->data.begin(), text->data.end()), std::string(kSoftware, sizeof kSoftware - 1));
        }
    }
}

// Captures named in one millisecond are numbered, each file whole.
TEST_P(CaptureOutput, CapturesOfOneMillisecondGetNumberedNamesAndNoneIsReplaced) {
    PatternWindow window(80, 80, 64, 48);
    SYSTEMTIME time{};
    GetLocalTime(&time);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        ASSERT_TRUE(shot.SaveToFolderAt(dir.path().c_str(), time)) << i;
        shot.FreeImage();
    }
    const std::string first = TimeStampedName(time, GetParam().png);
    const std::string stem = first.substr(0, first.size() - 4);
    const std::string ext = std::string(".") + GetParam().extension;
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{first, stem + "_2" + ext, stem + "_3" + ext}));
    for (const std::string& name : dir.Files()) EXPECT_EQ(FileOfWindowMismatch(dir.file(name), window), "") << name;
}

void EmptyTheClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

TEST_P(CaptureOutput, ClipboardGetsExactPixelsAndInPngModeAWholePngFile) {
    PatternWindow window(70, 60, 77, 51);
    const ColourAt colour = [&window](int x, int y) { return window.ColourAt(x, y); };
    ASSERT_NO_FATAL_FAILURE(EmptyTheClipboard());
    ASSERT_TRUE(shot.CaptureToDestinations(window.hwnd(), nullptr, true, window.hwnd()));
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_EQ(ClipboardDibMismatch(77, 51, colour), "");
    const std::vector<uint8_t> png = ClipboardBytes(kPngClipboardFormat);
    if (GetParam().png)
        EXPECT_EQ(CaptureBytesMismatch(png, "the clipboard's PNG", 77, 51, colour), "");
    else
        EXPECT_TRUE(png.empty()) << "PNG bytes without a PNG library";
}

// A program that keeps the clipboard open: given up after the bounded
// retry, the file written all the same, the clipboard as that program left it.
TEST_P(CaptureOutput, ClipboardHeldElsewhereIsGivenUpAndTheFileStillWritten) {
    PatternWindow window(70, 60, 64, 48);
    ASSERT_NO_FATAL_FAILURE(EmptyTheClipboard());
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr), done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(opened && done);
    std::thread holder([&] {
        const HWND owner = CreateWindowExA(0, "STATIC", "holder", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (owner && OpenClipboard(owner)) {
            SetEvent(opened);
            WaitForSingleObject(done, kStepMs);
            CloseClipboard();
        }
        SetEvent(opened);
        if (owner) DestroyWindow(owner);
    });
    ASSERT_EQ(WaitForSingleObject(opened, kStepMs), WAIT_OBJECT_0);
    EXPECT_FALSE(shot.CaptureToDestinations(window.hwnd(), dir.path().c_str(), true, window.hwnd()));
    SetEvent(done);
    holder.join();
    CloseHandle(opened);
    CloseHandle(done);
    EXPECT_EQ(shot.Image, nullptr);
    const std::vector<std::string> files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(FileOfWindowMismatch(dir.file(files[0]), window), "");
    EXPECT_TRUE(ClipboardBytes(nullptr, CF_DIB).empty()) << "the held clipboard was changed";
}

INSTANTIATE_TEST_SUITE_P(InThisProgramsMode, CaptureOutput, ::testing::Values(kFormat),
                         [](const ::testing::TestParamInfo<OutputFormat>& format) {
                             return std::string(format.param.png ? "Png" : "Bmp");
                         });

}  // namespace
