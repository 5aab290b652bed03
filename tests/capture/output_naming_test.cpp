#include "capture/screen_shot.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_name.h"
#include "tests/support/pattern_window.h"
#include "tests/support/save_dialog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

bool IsBmpOfWindow(const std::string& path, int width, int height) {
    BmpFile bmp;
    std::string error;
    return ParseBmp(ReadWholeFile(path), bmp, error) && bmp.width == width && bmp.height == height &&
           bmp.PixelAt(width - 1, height - 1) == PatternWindow::ColourAt(width - 1, height - 1, width, height);
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

class CaptureToFolderTest : public ::testing::Test {
protected:
    TScreenShot shot;
    TempDir dir;
    PatternWindow window{80, 80, 64, 48};
};

TEST_F(CaptureToFolderTest, FolderWithAndWithoutSeparatorGetsTimeOrderedNames) {
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
        EXPECT_TRUE(IsCaptureName(name, "bmp")) << name;
        EXPECT_TRUE(IsBmpOfWindow(dir.file(name), 64, 48)) << name;
        const uint64_t stamp = Ticks(TimeOfCaptureName(name));
        EXPECT_GE(stamp, Ticks(before) - Ticks(before) % 10000);
        EXPECT_LE(stamp, Ticks(after));
        EXPECT_GT(stamp, previous) << "names sort in the order taken";
        previous = stamp;
    }
}

TEST_F(CaptureToFolderTest, MissingOrOverlongFolderGivesFalseAndHoldsNothing) {
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), dir.file("missing").c_str()));
    EXPECT_EQ(shot.Image, nullptr);
    const std::string overlong = dir.path() + "\\" + std::string(300, 'a');
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), overlong.c_str()));
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_FALSE(shot.CaptureToFolder(nullptr, dir.path().c_str()));
    EXPECT_TRUE(dir.Files().empty());
    EXPECT_FALSE(shot.SaveToFile(dir.file("nothing.bmp").c_str()));
    EXPECT_FALSE(shot.SaveWithDialog());
}

TEST_F(CaptureToFolderTest, SaveDialogOffersBitmapsAddsTheExtensionAndReplacesFiles) {
    SaveDialogOwner = window.hwnd();
    {
        // An existing, longer file is replaced without a question.
        FILE* existing = std::fopen(dir.file("chosen.bmp").c_str(), "wb");
        ASSERT_NE(existing, nullptr);
        std::fputs(std::string(100000, 'x').c_str(), existing);
        std::fclose(existing);
    }
    SaveDialogAnswer answer(window.hwnd(), dir.file("chosen"));
    shot.CaptureAndSaveAs(window.hwnd());
    const SaveDialogSeen seen = answer.Result();
    EXPECT_TRUE(seen.appeared);
    EXPECT_TRUE(seen.ownedByOwner);
    EXPECT_EQ(seen.filterCount, 1);
    EXPECT_EQ(seen.filter, "Bitmap files");
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_EQ(dir.Files(), std::vector<std::string>{"chosen.bmp"});
    EXPECT_TRUE(IsBmpOfWindow(dir.file("chosen.bmp"), 64, 48));
}

TEST_F(CaptureToFolderTest, CancellingTheSaveDialogWritesNothing) {
    SaveDialogOwner = window.hwnd();
    SaveDialogAnswer answer(window.hwnd(), "");
    shot.CaptureAndSaveAs(window.hwnd());
    EXPECT_TRUE(answer.Result().appeared);
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_TRUE(dir.Files().empty());
}

}  // namespace
