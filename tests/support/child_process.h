#pragma once
// Starts window_owner.exe (built beside the tests) and finds its window.
#include <windows.h>
#include <string>

class ForeignWindow {
public:
    explicit ForeignWindow(const std::string& title);
    ~ForeignWindow();
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    DWORD processId() const { return process_.dwProcessId; }

private:
    PROCESS_INFORMATION process_{};
    HWND hwnd_ = nullptr;
};

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();
