// Settings that cannot be written: the settings file beside the host, or
// the folder that holds it, is read-only. The dialog reads what is there,
// "Apply" changes nothing on disk and says nothing, and the dialog works on
// with the options as the user set them. read_only_settings.sh runs these
// from a copy of the program in a folder of its own, which it makes
// unwritable, and names the case in PIXMERLE_READ_ONLY.
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/faults/plugin_dialog.h"
#include "tests/support/bmp_file.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_library.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

using StartPluginFn = INT_PTR(__stdcall*)(DWORD);

std::string SettingsPath() { return ProgramFolder() + "Pixmerle_Option.ini"; }

bool ReadOnlyCase(const char* which) {
    const char* made = std::getenv("PIXMERLE_READ_ONLY");
    return made && std::strcmp(made, which) == 0;
}

bool Writable(const std::string& path, DWORD disposition) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    if (disposition == CREATE_NEW) DeleteFileA(path.c_str());
    return true;
}

ColourAt Pattern() {
    return [](int x, int y) { return PatternWindow::ColourAt(x, y, 150, 100); };
}

// Drags onto the target, captures into the folder the dialog shows, and
// checks the one file that arrives.
void ExpectCaptureWorks(CaptureDialog& d, const PatternWindow& target, const TempDir& dir) {
    ASSERT_TRUE(d.DragTo(Centre(WindowRect(target.hwnd()))));
    ASSERT_TRUE(d.TakeCapture());
    const std::vector<std::string> files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(CaptureFileMismatch(dir.file(files[0]), 150, 100, Pattern()), "");
}

TEST(ReadOnlySettings, FileKeepsItsValuesWhileTheDialogWorksOnWithTheUsersOptions) {
    if (!ReadOnlyCase("file")) GTEST_SKIP() << "needs a read-only settings file (tests/faults/read_only_settings.sh)";
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    const std::vector<uint8_t> stored = ReadWholeFile(SettingsPath());
    ASSERT_FALSE(stored.empty());
    ASSERT_FALSE(Writable(SettingsPath(), OPEN_EXISTING)) << "the settings file can be written";
    PatternWindow target(40, 40, 150, 100);
    TempDir dir;

    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        EXPECT_TRUE(d.Ticked(IDC_SAVE_TO_FOLDER));
        EXPECT_EQ(d.Folder(), "C:\\kept");
        EXPECT_FALSE(d.Ticked(IDC_HIDE_ON_CAPTURE));
        d.SetFolder(dir.path());
        ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_TRUE(d.Visible());
        EXPECT_EQ(ReadWholeFile(SettingsPath()), stored) << "the read-only settings file changed";
        EXPECT_EQ(d.Folder(), dir.path());
        ExpectCaptureWorks(d, target, dir);
    }), 0);

    // The next start comes up with what the file holds.
    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        EXPECT_TRUE(d.Ticked(IDC_SAVE_TO_FOLDER));
        EXPECT_EQ(d.Folder(), "C:\\kept");
        EXPECT_FALSE(d.Ticked(IDC_HIDE_ON_CAPTURE));
    }), 0);
}

TEST(ReadOnlySettings, FolderTakesNoSettingsFileWhileTheDialogWorksOnWithTheUsersOptions) {
    if (!ReadOnlyCase("folder")) GTEST_SKIP() << "needs a read-only program folder (tests/faults/read_only_settings.sh)";
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    ASSERT_FALSE(PathExists(SettingsPath()));
    ASSERT_FALSE(Writable(ProgramFolder() + "probe.tmp", CREATE_NEW)) << "files can be made in the program's folder";
    PatternWindow target(40, 40, 150, 100);
    TempDir dir;

    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        EXPECT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        EXPECT_EQ(d.Folder(), "");
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_TRUE(d.Visible());
        EXPECT_FALSE(PathExists(SettingsPath())) << "a settings file in the read-only folder";
        EXPECT_EQ(d.Folder(), dir.path());
        ExpectCaptureWorks(d, target, dir);
    }), 0);

    // Nothing was stored: the next start has every option off.
    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        EXPECT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        EXPECT_EQ(d.Folder(), "");
        EXPECT_FALSE(d.Ticked(IDC_HIDE_ON_CAPTURE));
    }), 0);
}

}  // namespace
