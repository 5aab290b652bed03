// Captures whose destination fails them: a file system that runs out of
// space, and a folder removed between two captures. The program runs in the
// capture mode it was built for: PNG with libpng.dll beside it, BMP without.
#include "capture/screen_shot.h"
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/bmp_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Destination : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(shot.PngAvailable, PngBuild()) << "this program runs in the wrong capture mode";
    }

    // Captures into the folder and checks the one new file against the window.
    void ExpectCaptureInto(const std::string& folder, HWND window, int width, int height, const ColourAt& colour) {
        const std::vector<std::string> before = FilesIn(folder);
        ASSERT_TRUE(shot.CaptureToFolder(window, folder.c_str())) << "into " << folder;
        EXPECT_EQ(shot.Image, nullptr) << "the image outlived the write";
        const std::vector<std::string> added = FilesAddedTo(folder, before);
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0].substr(added[0].size() - 4), CaptureExtension());
        EXPECT_EQ(CaptureFileMismatch(folder + "\\" + added[0], width, height, colour), "");
    }

    TScreenShot shot;
};

TEST_F(Destination, NearlyFullDiskFailsTheCaptureLeakingNothingAndTheNextCaptureWorks) {
    const std::string smallDisk = SmallDiskFolder();
    if (smallDisk.empty()) GTEST_SKIP() << "no small file system mounted (run through scripts/test as root)";
    // 320x200 pixels of pure colours in no order: more than 8 KiB in either format.
    NoiseWindow window(20, 300, 320, 200);
    const ColourAt noise = [](int x, int y) { return NoiseWindow::ColourAt(x, y); };
    TempDir good;
    ASSERT_NO_FATAL_FAILURE(ExpectCaptureInto(good.path(), window.hwnd(), 320, 200, noise));

    // Other test programs use the same file system; should one of them free
    // space at the wrong moment, the capture may fit after all, and is tried again.
    const ScratchFolder folder(smallDisk);
    ASSERT_FALSE(folder.path().empty()) << "no folder of its own on " << smallDisk;
    int failures = 0;
    for (int attempt = 0; attempt < 3 && failures == 0; ++attempt) {
        DiskFiller filler(folder.path(), 8192);
        ASSERT_TRUE(filler.filled()) << "could not fill " << smallDisk << ": " << filler.problem();
        const std::vector<std::string> present = FilesIn(folder.path());
        const Usage before = MeasureUsage();
        const bool written = shot.CaptureToFolder(window.hwnd(), folder.path().c_str());
        const Usage after = MeasureUsage();
        EXPECT_EQ(shot.Image, nullptr) << "the image outlived the write";
        EXPECT_EQ(after.gdiObjects, before.gdiObjects) << Describe(before) << " -> " << Describe(after);
        EXPECT_EQ(after.kernelHandles, before.kernelHandles) << "the output file was left open";
        const std::vector<std::string> added = FilesAddedTo(folder.path(), present);
        // Success must mean a whole file, however little room there was;
        // failure, no file at all.
        EXPECT_EQ(added.size(), written ? 1u : 0u);
        for (const std::string& name : added) {
            const std::string path = folder.path() + "\\" + name;
            EXPECT_EQ(CaptureFileMismatch(path, 320, 200, noise), "");
            EXPECT_TRUE(DeleteFileA(path.c_str())) << path << " is still open";
        }
        if (written) continue;
        ++failures;
        // A file chosen in the save dialog to be replaced stays as it was.
        const std::string chosen = folder.path() + "\\chosen" + CaptureExtension();
        const std::string old = "the file the user chose to replace";
        {
            const UniqueFile file(CreateFileA(chosen.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD count = 0;
            ASSERT_TRUE(file && WriteFile(file.get(), old.data(), DWORD(old.size()), &count, nullptr));
        }
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        EXPECT_FALSE(shot.SaveToFileAndFree(chosen.c_str()));
        const std::vector<uint8_t> kept = ReadWholeFile(chosen);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), old) << "the replaced file was lost";
        EXPECT_EQ(FilesAddedTo(folder.path(), present), std::vector<std::string>{"chosen" + std::string(CaptureExtension())});
        DeleteFileA(chosen.c_str());
    }
    EXPECT_EQ(failures, 1) << "no capture failed on the nearly full file system";

    ASSERT_NO_FATAL_FAILURE(ExpectCaptureInto(good.path(), window.hwnd(), 320, 200, noise));
}

TEST_F(Destination, FolderRemovedBetweenTwoCapturesFailsTheSecondAndIsNotMadeAgain) {
    PatternWindow window(40, 40, 150, 100);
    const ColourAt pattern = [](int x, int y) { return PatternWindow::ColourAt(x, y, 150, 100); };
    auto folder = std::make_unique<TempDir>();
    const std::string path = folder->path();
    ASSERT_NO_FATAL_FAILURE(ExpectCaptureInto(path, window.hwnd(), 150, 100, pattern));

    folder.reset();
    ASSERT_FALSE(PathExists(path));
    const Usage before = MeasureUsage();
    EXPECT_FALSE(shot.CaptureToFolder(window.hwnd(), path.c_str()));
    const Usage after = MeasureUsage();
    EXPECT_EQ(shot.Image, nullptr) << "the image outlived the failed write";
    EXPECT_EQ(after.gdiObjects, before.gdiObjects) << Describe(before) << " -> " << Describe(after);
    EXPECT_EQ(after.kernelHandles, before.kernelHandles) << Describe(before) << " -> " << Describe(after);
    EXPECT_FALSE(PathExists(path)) << "the capture made the removed folder again";

    TempDir other;
    ASSERT_NO_FATAL_FAILURE(ExpectCaptureInto(other.path(), window.hwnd(), 150, 100, pattern));
    // The folder made again by the user is used again.
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    ExpectCaptureInto(path, window.hwnd(), 150, 100, pattern);
    RemoveFolder(path);
}

TEST_F(Destination, DirectoryOrReadOnlyFileOfTheChosenNameIsNeverReplaced) {
    PatternWindow window(40, 40, 150, 100);
    TempDir dir;
    const std::string directory = dir.file(std::string("folder") + CaptureExtension());
    const std::string readOnly = dir.file(std::string("kept") + CaptureExtension());
    const std::string kept = "a file the user keeps";
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    {
        const UniqueFile file(CreateFileA(readOnly.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        DWORD count = 0;
        ASSERT_TRUE(file && WriteFile(file.get(), kept.data(), DWORD(kept.size()), &count, nullptr));
    }
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    for (const std::string& name : {directory, readOnly}) {
        ASSERT_TRUE(shot.CaptureWindow(window.hwnd()));
        EXPECT_FALSE(shot.SaveToFileAndFree(name.c_str())) << name;
    }
    EXPECT_NE(GetFileAttributesA(directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << "the directory was replaced";
    EXPECT_EQ(FilesIn(directory), std::vector<std::string>()) << "a file went into the directory";
    EXPECT_TRUE(ReadWholeFile(readOnly) == std::vector<uint8_t>(kept.begin(), kept.end()))
        << "the read-only file was replaced";
    EXPECT_EQ(dir.Files(), std::vector<std::string>{std::string("kept") + CaptureExtension()})
        << "a temporary file was left behind";
}

TEST(DialogDestination, FolderRemovedWhileTheDialogIsOpenCostsOneCaptureOnly) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    PatternWindow window(40, 40, 150, 100);
    auto folder = std::make_unique<TempDir>();
    const std::string path = folder->path();
    const INT_PTR result = RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(path));
        ASSERT_NO_FATAL_FAILURE(ExpectCaptureOf(d, window, *folder));

        folder.reset();
        ASSERT_FALSE(PathExists(path));
        ASSERT_TRUE(d.TakeCapture()) << "the dialog did not come back after a capture into a removed folder";
        EXPECT_FALSE(PathExists(path)) << "the capture made the removed folder again";

        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        ASSERT_TRUE(d.TakeCapture());
        ExpectOnlyCaptureOf(window, path);
    });
    EXPECT_EQ(result, 0);
    RemoveFolder(path);
}

}  // namespace
