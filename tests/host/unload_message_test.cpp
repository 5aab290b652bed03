// The one debug string the plug-in writes, seen the way a debug-output
// monitor sees it: a host that loads the plug-in and frees it, or ends
// without, runs while this program serves the system-wide debug-output buffer.
#include "common/handles.h"
#include "tests/support/child_process.h"
#include "tests/support/plugin_library.h"
#include "tests/support/wait_bounds.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A debug-output monitor: the named buffer and the two events through which
// OutputDebugStringA hands strings to whoever listens.
class DebugOutputMonitor {
public:
    DebugOutputMonitor() {
        if (mapping_) view_ = static_cast<const char*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, kBufferSize));
    }
    ~DebugOutputMonitor() {
        if (view_) UnmapViewOfFile(view_);
    }
    DebugOutputMonitor(const DebugOutputMonitor&) = delete;
    DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;

    bool ready() const { return mutex_ && bufferReady_ && dataReady_ && view_; }

    // Collects the strings `process` writes until it ends and a little after.
    std::vector<std::string> CollectFrom(HANDLE process, DWORD processId, DWORD timeoutMs) {
        std::vector<std::string> strings;
        bool ended = false;
        for (DWORD waited = 0; waited < timeoutMs;) {
            const HANDLE handles[] = {dataReady_.get(), process};
            const DWORD result = WaitForMultipleObjects(ended ? 1 : 2, handles, FALSE, ended ? 500 : 100);
            if (result == WAIT_OBJECT_0) {
                DWORD writer = 0;
                std::memcpy(&writer, view_, sizeof writer);
                if (writer == processId) strings.emplace_back(view_ + sizeof writer, strnlen(view_ + sizeof writer, kBufferSize - sizeof writer));
                SetEvent(bufferReady_.get());
            } else if (result == WAIT_OBJECT_0 + 1) {
                ended = true;
            } else if (ended) {
                break;
            } else {
                waited += 100;
            }
        }
        return strings;
    }

private:
    static constexpr DWORD kBufferSize = 4096;
    UniqueHandle mutex_{CreateMutexA(nullptr, FALSE, "DBWinMutex")};
    UniqueHandle bufferReady_{CreateEventA(nullptr, FALSE, TRUE, "DBWIN_BUFFER_READY")};
    UniqueHandle dataReady_{CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")};
    UniqueHandle mapping_{
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, "DBWIN_BUFFER")};
    const char* view_ = nullptr;
};

// Runs a host process to its end; the debug strings it wrote, and its exit code.
std::vector<std::string> RunHost(DebugOutputMonitor& monitor, const std::string& commandLine, DWORD& exitCode) {
    std::string writable = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    exitCode = ~0u;
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, ProgramFolder().c_str(),
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << commandLine;
        return {};
    }
    const UniqueHandle thread(process.hThread), child(process.hProcess);
    const std::vector<std::string> strings = monitor.CollectFrom(child.get(), process.dwProcessId, 2 * kStepMs);
    GetExitCodeProcess(child.get(), &exitCode);
    return strings;
}

const std::vector<std::string> kUnloadedOnce{"Plugin unloaded by DLL_PROCESS_DETACH"};

TEST(UnloadMessage, WrittenExactlyOnceWhenAHostFreesThePlugin) {
    DebugOutputMonitor monitor;
    ASSERT_TRUE(monitor.ready()) << "cannot serve the debug-output buffer (error " << GetLastError() << ")";
    const std::string plugin = ProgramFolder() + "Pixmerle_1_1_7.dll";

#ifdef _WIN64
    for (const char* host : {"x64dbg"}) {
#else
    for (const char* host : {"quickunpack", "ollydbg", "peid", "pt"}) {
#endif
        SCOPED_TRACE(host);
        DWORD exitCode = 0;
        const std::vector<std::string> strings =
            RunHost(monitor, "\"" + ProgramFolder() + "host_simulator.exe\" --host " + host +
                                 " --load-only --plugin \"" + plugin + "\"", exitCode);
        EXPECT_EQ(exitCode, 0u) << "the host could not load and free the plug-in";
        EXPECT_EQ(strings, kUnloadedOnce);
    }
}

// This program run again with the switch is a host that ends, with the
// plug-in's dialog open, by ExitProcess and without freeing the plug-in.
constexpr char kEndingHostSwitch[] = "--host-ending-in-the-dialog";
constexpr UINT kEndingHostCode = 57;

void CALLBACK EndHost(HWND, UINT, UINT_PTR, DWORD) { ExitProcess(kEndingHostCode); }

// Before GoogleTest's main, so that the host runs on its only thread.
const bool endingHost = [] {
    if (!std::strstr(GetCommandLineA(), kEndingHostSwitch)) return false;
    if (!SetTimer(nullptr, 0, 2000, EndHost) || !RunPluginDialogAsHost()) ExitProcess(2);
    ExitProcess(3);  // the dialog ended first
}();

TEST(UnloadMessage, WrittenExactlyOnceWhenTheHostEndsWithoutFreeingThePlugin) {
    DebugOutputMonitor monitor;
    ASSERT_TRUE(monitor.ready()) << "cannot serve the debug-output buffer (error " << GetLastError() << ")";
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    DWORD exitCode = 0;
    const std::vector<std::string> strings =
        RunHost(monitor, "\"" + std::string(program) + "\" " + kEndingHostSwitch, exitCode);
    EXPECT_EQ(exitCode, kEndingHostCode) << "the host did not end as it chose";
    EXPECT_EQ(strings, kUnloadedOnce);
}

#ifndef _WIN64
// OllyDbg 2.01 closing while the dialog is open calls close, destroy and
// FreeLibrary from inside the dialog's modal loop: the dialog ends, the host
// goes on and ends with its own code, and the message comes once, at its end.
TEST(UnloadMessage, OllyDbg2UnloadingFromInsideTheDialogEndsItAndTheHostGoesOn) {
    DebugOutputMonitor monitor;
    ASSERT_TRUE(monitor.ready()) << "cannot serve the debug-output buffer (error " << GetLastError() << ")";
    DWORD exitCode = 0;
    const std::vector<std::string> strings =
        RunHost(monitor, "\"" + ProgramFolder() + "host_simulator.exe\" --host ollydbg2 --unload-in-dialog --plugin \"" +
                             ProgramFolder() + "Pixmerle_1_1_7.dll\"", exitCode);
    EXPECT_EQ(exitCode, 0u) << "the host did not get through the unloading";
    EXPECT_EQ(strings, kUnloadedOnce);
}
#endif

}  // namespace
