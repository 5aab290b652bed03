// The plug-in installed as a host keeps it: the host's executable in a folder
// of its own, the plug-in in plugins\ below it.
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/support/bmp_file.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// The first window of the class (and title, if given) that the process shows.
HWND WaitForWindowOf(DWORD processId, const char* className, const char* title) {
    HWND found = nullptr;
    WaitUntil([&] {
        DWORD owner = 0;
        found = FindWindowA(className, title);
        if (found) GetWindowThreadProcessId(found, &owner);
        return owner == processId && IsWindowVisible(found);
    }, kShellDialogMs);
    return found;
}

TEST(HostInstallation, SettingsFileIsReadAndWrittenBesideTheHostsExecutableOnly) {
    TempDir host;
    const std::string hostFolder = host.path() + "\\", plugins = hostFolder + "plugins\\";
    ASSERT_TRUE(CreateDirectoryA(plugins.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "host_simulator.exe").c_str(), (hostFolder + "host.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "Pixmerle_1_1_7.dll").c_str(), (plugins + "Pixmerle_1_1_7.dll").c_str(),
                          FALSE));
    ASSERT_TRUE(WriteSettings(SettingsText("C:\\host shots", 1, 1), SettingsPath(hostFolder)));

    // Started in the plug-in's folder: neither the plug-in's folder nor the
    // current one is the host's.
#ifdef _WIN64
    // x64dbg, the one 64-bit host, has its debugger DLL beside it.
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "x64dbg.dll").c_str(), (hostFolder + "x64dbg.dll").c_str(), FALSE));
    std::string command = "\"" + hostFolder + "host.exe\" --host x64dbg --start --plugin \"" + plugins +
                          "Pixmerle_1_1_7.dll\"";
#else
    std::string command = "\"" + hostFolder + "host.exe\" --host quickunpack --start --plugin \"" + plugins +
                          "Pixmerle_1_1_7.dll\"";
#endif
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, plugins.c_str(), &startup,
                               &started));
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    const HWND dialog = WaitForWindowOf(started.dwProcessId, "#32770", "  Pixmerle 1.1.7");
    if (dialog) {
        LoopProbe unused;  // the dialog's loop is another process's
        ExpectOptions(CaptureDialog(dialog, unused), true, true, "C:\\host shots");
        ClickButton(dialog, IDC_HIDE_ON_CAPTURE);
        ClickButton(dialog, IDC_APPLY);
        EXPECT_TRUE(WaitUntil([&] { return ReadSettings(SettingsPath(hostFolder)) == SettingsText("C:\\host shots", 1, 0); }))
            << ReadSettings(SettingsPath(hostFolder));
        EXPECT_FALSE(PathExists(SettingsPath(plugins))) << "a settings file beside the plug-in";
        ClickButton(dialog, IDC_EXIT);
    }
    if (HWND main = WaitForWindowOf(started.dwProcessId, "PixmerleHostSimulator", nullptr))
        PostMessageA(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), kStepMs) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    ASSERT_NE(dialog, nullptr) << "the host showed no capture dialog";
}

// A host's installation in a folder of its own, started for the demo: the
// sample window, the finder dragged onto it, a capture into captures\.
class DemoInstallation {
public:
    DemoInstallation() {
        EXPECT_TRUE(CreateDirectoryA((folder() + "plugins").c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryA((folder() + "captures").c_str(), nullptr));
        EXPECT_TRUE(Copy(ProgramFolder() + "host_simulator.exe", folder() + "host.exe"));
        EXPECT_TRUE(Copy(ProgramFolder() + "Pixmerle_1_1_7.dll", folder() + "plugins\\Pixmerle_1_1_7.dll"));
#ifdef _WIN64
        EXPECT_TRUE(Copy(ProgramFolder() + "x64dbg.dll", folder() + "x64dbg.dll"));
#endif
    }
    std::string folder() const { return dir_.path() + "\\"; }
    static bool Copy(const std::string& from, const std::string& to) {
        return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
    }
    // Runs the demo from the installation's folder; the files it left in captures\.
    std::vector<std::string> RunDemo(std::string& output) const {
#ifdef _WIN64
        const char* host = "x64dbg";
#else
        const char* host = "quickunpack";
#endif
        const std::string command = "\"" + folder() + "host.exe\" --host " + host + " --plugin \"" + folder() +
                                    "plugins\\Pixmerle_1_1_7.dll\" --demo \"" + folder() + "captures\"";
        EXPECT_EQ(RunProgram(command, folder(), output), 0u) << output;
        return FilesIn(folder() + "captures");
    }

private:
    TempDir dir_;
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The colour type in a PNG file's header: 2 for RGB, 3 for a palette.
int PngColourType(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return bytes.size() > 25 ? bytes[25] : -1;
}

// Beside the host's executable it is bound, but only at the first dialog:
// loading the plug-in loads nothing. The few colours of the demo's window
// give a palette image, and RGB once the settings file says IsRgb=1.
TEST(HostInstallation, LibpngBesideTheHostIsBoundAtTheFirstDialogNotAtLoad) {
    DemoInstallation host;
    ASSERT_TRUE(DemoInstallation::Copy(ProgramFolder() + "png\\libpng.dll", host.folder() + "libpng.dll"));
    std::string output;
    const std::vector<std::string> captures = host.RunDemo(output);
    EXPECT_NE(output.find("loaded"), std::string::npos) << output;
    EXPECT_EQ(output.find("libpng.dll with it"), std::string::npos) << output;
    ASSERT_EQ(captures.size(), 1u) << output;
    EXPECT_TRUE(EndsWith(captures[0], ".png")) << captures[0];
    EXPECT_EQ(PngColourType(host.folder() + "captures\\" + captures[0]), 3);

    ASSERT_TRUE(WriteSettings("[Settings]\r\nIsRgb=1\r\n", SettingsPath(host.folder())));
    const std::vector<std::string> after = host.RunDemo(output);
    ASSERT_EQ(after.size(), 2u) << output;
    const std::string rgb = after[0] == captures[0] ? after[1] : after[0];
    EXPECT_EQ(PngColourType(host.folder() + "captures\\" + rgb), 2) << rgb;
}

}  // namespace
