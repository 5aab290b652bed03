// Settings that cannot be written: the settings file beside the host, or
// the folder that holds it, is read-only. The dialog reads what is there,
// "Apply" changes nothing on disk and says nothing, and the dialog works on
// with the options as the user set them. read_only_settings.sh runs these
// from a copy of the program in a folder of its own, which it makes
// unwritable, and names the case in PIXMERLE_READ_ONLY.
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

bool ReadOnlyCase(const char* which) {
    const char* made = std::getenv("PIXMERLE_READ_ONLY");
    return made && std::strcmp(made, which) == 0;
}

bool Writable(const std::string& path, DWORD disposition) {
    if (!UniqueFile(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr))) return false;
    if (disposition == CREATE_NEW) DeleteFileA(path.c_str());
    return true;
}

// Ticks "Hide app on capture" and presses Apply, after which `expectUnstored`
// checks the disk; the dialog goes on with the user's options.
void ApplyAndWorkOn(CaptureDialog& d, const PatternWindow& target, const TempDir& dir,
                    const std::function<void()>& expectUnstored) {
    ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
    ASSERT_TRUE(d.Click(IDC_APPLY));
    EXPECT_TRUE(d.Visible());
    expectUnstored();
    EXPECT_EQ(d.Folder(), dir.path());
    ExpectCaptureOf(d, target, dir);
}

TEST(ReadOnlySettings, FileKeepsItsValuesWhileTheDialogWorksOnWithTheUsersOptions) {
    if (!ReadOnlyCase("file")) GTEST_SKIP() << "needs a read-only settings file (tests/faults/read_only_settings.sh)";
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    const std::string stored = ReadSettings();
    ASSERT_FALSE(stored.empty());
    ASSERT_FALSE(Writable(SettingsPath(), OPEN_EXISTING)) << "the settings file can be written";
    PatternWindow target(40, 40, 150, 100);
    TempDir dir;

    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        ExpectOptions(d, true, false, "C:\\kept");
        d.SetFolder(dir.path());
        ApplyAndWorkOn(d, target, dir, [&] {
            EXPECT_EQ(ReadSettings(), stored) << "the read-only settings file changed";
        });
    }), 0);

    // The next start comes up with what the file holds.
    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); },
                              [](const CaptureDialog& d) { ExpectOptions(d, true, false, "C:\\kept"); }),
              0);
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
        ApplyAndWorkOn(d, target, dir, [] {
            EXPECT_FALSE(PathExists(SettingsPath())) << "a settings file in the read-only folder";
        });
    }), 0);

    // Nothing was stored: the next start has every option off.
    EXPECT_EQ(RunPluginDialog([&] { return startPlugin(0); },
                              [](const CaptureDialog& d) { ExpectOptions(d, false, false, ""); }),
              0);
}

}  // namespace
