// The one debug string the plug-in writes, seen the way a debug-output
// monitor sees it: a host that loads and frees the plug-in runs while this
// program serves the system-wide debug-output buffer.
#include "common/handles.h"
#include "tests/support/child_process.h"

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

TEST(UnloadMessage, WrittenExactlyOnceWhenAHostFreesThePlugin) {
    DebugOutputMonitor monitor;
    ASSERT_TRUE(monitor.ready()) << "cannot serve the debug-output buffer (error " << GetLastError() << ")";
    const std::string plugin = ProgramFolder() + "Pixmerle_1_1_7.dll";

    for (const char* host : {"quickunpack", "ollydbg", "peid", "pt"}) {
        SCOPED_TRACE(host);
        std::string commandLine = "\"" + ProgramFolder() + "host_simulator.exe\" --host " + host +
                                  " --load-only --plugin \"" + plugin + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   ProgramFolder().c_str(), &startup, &process))
            << commandLine;
        const UniqueHandle thread(process.hThread), child(process.hProcess);
        const std::vector<std::string> strings = monitor.CollectFrom(child.get(), process.dwProcessId, 60000);
        DWORD exitCode = 1;
        GetExitCodeProcess(child.get(), &exitCode);

        EXPECT_EQ(exitCode, 0u) << "the host could not load and free the plug-in";
        const std::vector<std::string> expected{"Plugin unloaded by DLL_PROCESS_DETACH"};
        EXPECT_EQ(strings, expected);
    }
}

}  // namespace
