#pragma once
// Starts window_owner.exe (built beside the tests) and finds its window.
#include "tests/support/wait_bounds.h"

#include <windows.h>
#include <string>
#include <vector>

class ForeignWindow {
public:
    explicit ForeignWindow(const std::string& title, const std::string& program = "window_owner.exe");
    ~ForeignWindow();
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    DWORD processId() const { return process_.dwProcessId; }

private:
    PROCESS_INFORMATION process_{};
    HWND hwnd_ = nullptr;
};

// Runs a program in `folder` to its end, up to the timeout (then it is
// ended): its exit code, ~0 when it did not start or end, and what it wrote
// to its standard output.
DWORD RunProgram(const std::string& commandLine, const std::string& folder, std::string& output,
                 DWORD timeoutMs = Bound(300000));

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// Whether this platform can read the memory of processes that run the
// given program, found out once by reading back a known buffer of such a
// child process. Where it cannot, says so with the reason on the test's
// output, for the test to skip only the checks that need the reads. (Wine
// under qemu's user-mode emulator reads an emulated process at the wrong
// addresses.)
bool PlatformReadsMemoryOf(const std::string& program);

// The window owners beside the test program: window_owner.exe, and in the
// 64-bit build also the 32-bit window_owner32.exe.
std::vector<std::string> ForeignOwnerPrograms();
