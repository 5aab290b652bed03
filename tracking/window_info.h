#pragma once
// Reading a window's text and class name.
#include <windows.h>
#include <string>

// The messages of one selection to its target. A window of another thread
// gets a bounded time to answer each; once it has failed to answer, it is
// asked nothing more, so a hung target costs one wait instead of one per query.
class TargetQueries {
public:
    static constexpr UINT kAnswerTimeoutMs = 100;

    explicit TargetQueries(HWND window) noexcept;
    // The answer in result; false (result 0) when the window did not answer.
    bool Send(UINT message, WPARAM wParam, LPARAM lParam, bool wide, LRESULT& result) noexcept;
    bool Answering() const noexcept { return answering_; }
    // A message that went unanswered may still reach a window of another
    // thread of this process later, with the pointers it carried.
    bool MayAnswerLate() const noexcept { return sharesMemory_ && !answering_; }

private:
    HWND window_;
    bool answering_;
    bool sharesMemory_;
};

std::wstring ReadWindowTextW(HWND window) noexcept;
std::string ReadWindowTextA(HWND window) noexcept;
std::wstring ReadWindowTextW(TargetQueries& queries) noexcept;
std::string ReadWindowTextA(TargetQueries& queries) noexcept;
std::wstring ReadClassNameW(HWND window) noexcept;
std::string ReadClassNameA(HWND window) noexcept;

// Both class names: read wide, and converted to the thread's ANSI code page.
void ReadClassNames(HWND window, std::wstring& wide, std::string& narrow) noexcept;
