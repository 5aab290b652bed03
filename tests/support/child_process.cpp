#include "tests/support/child_process.h"

#include "common/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_bounds.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

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
    // The owner sets its window's properties after making it; the last one
    // tells that they are all there.
    if (hwnd_ && !WaitUntil([this] { return GetPropA(hwnd_, "Pixmerle.Instance") != nullptr; })) hwnd_ = nullptr;
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

DWORD RunProgram(const std::string& commandLine, const std::string& folder, std::string& output,
                 DWORD timeoutMs) {
    output.clear();
    const TempDir scratch;
    const std::string outputFile = scratch.file("stdout.txt");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    UniqueFile out(CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return ~0u;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    std::string writable = commandLine;  // CreateProcessA may write into it
    const bool ran = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                    &startup, &started) != FALSE;
    out.reset();
    if (!ran) return ~0u;
    const UniqueHandle process(started.hProcess), thread(started.hThread);
    DWORD exitCode = ~0u;
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &exitCode);
    else
        TerminateProcess(process.get(), ~0u);
    WaitForSingleObject(process.get(), kStepMs);
    std::ifstream in(outputFile, std::ios::binary);
    output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return exitCode;
}
