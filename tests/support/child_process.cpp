#include "tests/support/child_process.h"

#include "common/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <fstream>
#include <iterator>

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

ForeignWindow::ForeignWindow(const std::string& title, const std::string& program) {
    std::string command = "\"" + ProgramFolder() + program + "\" " + title;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
        return;
    // A new process starts slowly where Wine runs under emulation.
    const DWORD start = GetTickCount();
    while (!hwnd_ && GetTickCount() - start < 120000) {
        hwnd_ = FindWindowA("PixmerleOwner", title.c_str());
        if (!hwnd_) PumpMessages(100);
    }
    PumpMessages(100);
}

ForeignWindow::~ForeignWindow() {
    if (hwnd_) PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

DWORD RunProgram(const std::string& commandLine, const std::string& folder, std::string& output,
                 const std::string& pathFront, DWORD timeoutMs) {
    output.clear();
    const TempDir scratch;
    const std::string outputFile = scratch.file("stdout.txt");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    UniqueFile out(CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return ~0u;
    char oldPath[32768] = {};
    const DWORD oldLength = GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    if (!pathFront.empty()) SetEnvironmentVariableA("PATH", (pathFront + ";" + oldPath).c_str());
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
    if (!pathFront.empty()) SetEnvironmentVariableA("PATH", oldLength ? oldPath : nullptr);
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
