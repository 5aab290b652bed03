#include "tests/support/child_process.h"

#include "tests/support/screen.h"

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
