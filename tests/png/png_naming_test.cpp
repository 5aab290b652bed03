#include "capture/screen_shot.h"
#include "tests/support/png_decode.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_name.h"
#include "tests/support/pattern_window.h"
#include "tests/support/save_dialog.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

bool IsPngOfWindow(const std::string& path, uint32_t width, uint32_t height) {
    DecodedPng png;
    std::string error;
    return DecodePng(ReadWholeFile(path), png, error) && png.width == width && png.height == height &&
           png.PixelAt(width - 1, height - 1) == PatternWindow::ColourAt(int(width) - 1, int(height) - 1, int(width), int(height));
}

class PngNaming : public ::testing::Test {
protected:
    TScreenShot shot;
    TempDir dir;
    PatternWindow window{90, 70, 50, 30};
};

TEST_F(PngNaming, CapturesIntoAFolderAreTimeStampedPngFiles) {
    ASSERT_TRUE(shot.PngAvailable);
    ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str()));
    EXPECT_EQ(shot.Image, nullptr);
    const auto files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(IsCaptureName(files[0], "png")) << files[0];
    EXPECT_TRUE(IsPngOfWindow(dir.file(files[0]), 50, 30));
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), dir.file("missing").c_str()));
    EXPECT_EQ(shot.Image, nullptr);
}

TEST_F(PngNaming, SaveDialogOffersPngAndTheModeDecidesTheContent) {
    SaveDialogOwner = window.hwnd();
    {
        SaveDialogAnswer answer(window.hwnd(), dir.file("picture"));
        shot.CaptureAndSaveAs(window.hwnd());
        const SaveDialogSeen seen = answer.Result();
        EXPECT_TRUE(seen.ownedByOwner);
        EXPECT_EQ(seen.filterCount, 1);
        EXPECT_EQ(seen.filter, "PNG files");
    }
    EXPECT_TRUE(IsPngOfWindow(dir.file("picture.png"), 50, 30));
    PumpMessages(300);  // repaint what the closed dialog covered
    {
        // Quoted, as a user types a name the dialog must take as it stands.
        SaveDialogAnswer answer(window.hwnd(), "\"" + dir.file("named.bmp") + "\"");
        shot.CaptureAndSaveAs(window.hwnd());
        EXPECT_TRUE(answer.Result().appeared);
    }
    EXPECT_TRUE(IsPngOfWindow(dir.file("named.bmp"), 50, 30)) << "a .bmp name still gets PNG content";
    EXPECT_EQ(dir.Files(), (std::vector<std::string>{"named.bmp", "picture.png"}));
    EXPECT_EQ(shot.Image, nullptr);
}

}  // namespace
