// A PNG library that fails in the middle of a write, the way libpng does
// when the disk refuses its bytes or a palette: it calls the error function
// it was given.
// The stand-in libraries are loaded under libpng.dll's name, as a host would
// have loaded the real one, and the capture object binds them at creation.
#include "capture/png_output.h"
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/faults/fault_support.h"
#include "tests/support/bmp_file.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <vector>

#include <string>

namespace {

std::string ReadText(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

template <typename F>
F StandInFunction(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

class FailingPngLibrary : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override {
        EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "the stand-in stayed loaded";
    }
};

TEST_P(FailingPngLibrary, WriteOrPaletteErrorFailsTheCaptureLeavesNoFileAndTheNextCaptureWorks) {
    PatternWindow window(40, 40, 150, 100);
    // Six colours: a palette image. The stand-in writes the first pixel of
    // the top row, yellow there.
    const std::string written = "stand-in 1.0.1 type 3\nrow ffff00\n";
    UniqueModule library(LoadLibraryA((ProgramFolder() + "stand_in\\" + GetParam() + "\\libpng.dll").c_str()));
    ASSERT_TRUE(library);
    const auto liveStructs = StandInFunction<int (*)()>(library.get(), "stand_in_live_structs");
    const auto errorCalls = StandInFunction<int (*)()>(library.get(), "stand_in_error_calls");
    ASSERT_TRUE(liveStructs && errorCalls);
    {
        TScreenShot shot;
        ASSERT_TRUE(shot.PngAvailable);
        ASSERT_EQ(PngBinding.Library, library.get());
        TempDir dir;
        ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str()));
        ASSERT_EQ(dir.Files().size(), 1u);
        EXPECT_EQ(ReadText(dir.file(dir.Files()[0])), written);
        ASSERT_TRUE(DeleteFileA(dir.file(dir.Files()[0]).c_str()));

        int errors = 0;
        for (const char* failure : {"stand_in_fail_writes", "stand_in_fail_palettes"}) {
            SCOPED_TRACE(failure);
            const auto fail = StandInFunction<void (*)(int)>(library.get(), failure);
            ASSERT_TRUE(fail);
            fail(1);
            const Usage before = MeasureUsage();
            EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str()));
            const Usage after = MeasureUsage();
            fail(0);
            EXPECT_EQ(errorCalls(), ++errors) << "the library did not fail the write";
            EXPECT_EQ(liveStructs(), 0) << "the library's structures were not destroyed";
            EXPECT_EQ(shot.Image, nullptr) << "the image outlived the failed write";
            EXPECT_EQ(after.gdiObjects, before.gdiObjects) << Describe(before) << " -> " << Describe(after);
            EXPECT_EQ(after.kernelHandles, before.kernelHandles) << "the output file was left open";
            EXPECT_EQ(dir.Files(), std::vector<std::string>()) << "a partial file was left behind";

            ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str())) << "the write after the failure";
            ASSERT_EQ(dir.Files().size(), 1u);
            EXPECT_EQ(ReadText(dir.file(dir.Files()[0])), written);
            EXPECT_EQ(liveStructs(), 0);
            ASSERT_TRUE(DeleteFileA(dir.file(dir.Files()[0]).c_str()));
        }
        // A picture of more colours than a palette holds is RGB after the
        // failures too; shallower displays merge the window's colours.
        if (ExpectedDisplayDepth() == 24) {
            ColoursWindow photo(40, 40, 150, 100, 1000);
            ASSERT_TRUE(shot.CaptureToFolder(photo.hwnd(), dir.path().c_str()));
            ASSERT_EQ(dir.Files().size(), 1u);
            EXPECT_EQ(ReadText(dir.file(dir.Files()[0])).substr(0, 22), "stand-in 1.0.1 type 2\n");
        }
    }
    EXPECT_EQ(GetModuleHandleA("libpng.dll"), library.get()) << "the capture object released the host's library";
}

// The folder goes away after the data is written, before the file takes its name.
TEST_P(FailingPngLibrary, FolderMovedAwayWhileTheFileIsFinishedFailsThatCaptureOnly) {
    PatternWindow window(40, 40, 150, 100);
    UniqueModule library(LoadLibraryA((ProgramFolder() + "stand_in\\" + GetParam() + "\\libpng.dll").c_str()));
    ASSERT_TRUE(library);
    const auto moveFolderAtEnd =
        StandInFunction<void (*)(const char*, const char*)>(library.get(), "stand_in_move_folder_at_end");
    ASSERT_TRUE(moveFolderAtEnd);
    TempDir dir;
    const std::string folder = dir.file("captures"), moved = dir.file("moved");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    TScreenShot shot;
    moveFolderAtEnd(folder.c_str(), moved.c_str());
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), folder.c_str()));
    ASSERT_TRUE(PathExists(moved)) << "the folder was not moved away";
    EXPECT_FALSE(PathExists(folder)) << "the capture made the folder again";
    EXPECT_EQ(shot.Image, nullptr) << "the image outlived the failed write";

    const std::vector<std::string> left = FilesIn(moved);
    ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), moved.c_str())) << "the capture after the failure";
    const std::vector<std::string> added = FilesAddedTo(moved, left);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(ReadText(moved + "\\" + added[0]), "stand-in 1.0.1 type 3\nrow ffff00\n");
}

// With the library's own file functions, and with the C runtime's.
INSTANTIATE_TEST_SUITE_P(FileFunctions, FailingPngLibrary, ::testing::Values("fail_write", "fail_write_crt"));

}  // namespace
