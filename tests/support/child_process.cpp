#include "tests/support/child_process.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "common/handles.h"
#include "tests/support/screen.h"
#include "tests/support/wait_bounds.h"

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::vector<std::string> ForeignOwnerPrograms() {
    std::vector<std::string> programs{"window_owner.exe"};
    if (GetFileAttributesA((ProgramFolder() + "window_owner32.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
        programs.push_back("window_owner32.exe");
    return programs;
}

namespace {

// Empty when the title the window owner keeps in its memory reads back as it is.
std::string MemoryReadProblem(const std::string& program) {
    static const char kKnown[] = "pixmerle-memory-probe";
    ForeignWindow probe(kKnown, program);
    if (!probe.hwnd()) return program + " did not show its window";
    const void* address = GetPropA(probe.hwnd(), "Pixmerle.Title");
    UniqueHandle process(OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, probe.processId()));
    char read[sizeof kKnown] = {};
    SIZE_T count = 0;
    if (!process || !ReadProcessMemory(process.get(), address, read, sizeof read, &count))
        return "ReadProcessMemory failed with error " + std::to_string(GetLastError());
    if (count != sizeof read || std::memcmp(read, kKnown, sizeof read) != 0)
        return "a known buffer of " + std::to_string(sizeof read) + " bytes read back as \"" +
               std::string(read, strnlen(read, sizeof read)) + "\"";
    return "";
}

}  // namespace

bool PlatformReadsMemoryOf(const std::string& program) {
    static std::map<std::string, std::string> problems;
    auto found = problems.find(program);
    if (found == problems.end()) found = problems.emplace(program, MemoryReadProblem(program)).first;
    if (found->second.empty()) return true;
    std::printf("[ SKIPPED  ] checks that read the memory of %s: this platform cannot (%s)\n", program.c_str(),
                found->second.c_str());
    std::fflush(stdout);
    return false;
}

ForeignWindow::ForeignWindow(const std::string& title, const std::string& program) {
    std::string command = "\"" + ProgramFolder() + program + "\" " + title;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    // A new process starts slowly where Wine runs under emulation.
    const DWORD start = GetTickCount();
    while (!hwnd_ && GetTickCount() - start < kShellDialogMs) {
        hwnd_ = FindWindowA("PixmerleOwner", title.c_str());
        if (!hwnd_) PumpMessages(100);
    }
    PumpMessages(100);
}

ForeignWindow::~ForeignWindow() {
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, kStepMs) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}
