// The plug-in installed as a host keeps it: the host's executable in a folder
// of its own, the plug-in in plugins\ below it.
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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

}  // namespace
