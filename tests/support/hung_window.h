#pragma once
// A window whose thread can be made to stop taking messages.
#include "common/handles.h"
#include "tests/support/wait_bounds.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A solid top-most Unicode window served by a thread of its own, which can be
// made to stop answering: at once, or when it is next asked for its text.
// While stuck, its thread still takes each message sent to it, and leaves it
// unanswered, so that the questions a caller waited for can be counted. It
// answers again on Release, or by itself after a long while so that a test
// that goes wrong still ends.
class HungWindow {
public:
    enum class Hang { Now, OnGetText };

    HungWindow(int x, int y, int width, int height, uint32_t rgb, const std::string& title);
    ~HungWindow();
    HungWindow(const HungWindow&) = delete;
    HungWindow& operator=(const HungWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // Starts the hang; with Hang::Now returns once the thread is stuck.
    bool Start(Hang how);
    bool Hanging() const { return hanging_; }
    // Ends the hang and waits until the thread has taken every message sent
    // meanwhile; false if it did not get through them.
    bool Release();
    // The questions about itself (text length, text, icon) the thread has
    // taken so far, answered or not. One that its sender stopped waiting for
    // before the thread took it is not counted: Wine drops it.
    int QueriesTaken() const { return queries_; }
    // How long the thread stays stuck when nobody releases it.
    static inline const DWORD kLongestHangMs = Bound(60000);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(int x, int y, int width, int height, const std::string& title);
    void StayStuck();

    HWND hwnd_ = nullptr;
    UniqueHandle ready_;
    UniqueHandle release_;
    UniqueHandle stuck_;
    std::atomic<bool> hangOnGetText_{false};
    std::atomic<bool> hanging_{false};
    std::atomic<int> queries_{0};
    int stuckDepth_ = 0;  // the window's thread only
    uint32_t rgb_;
    std::thread thread_;
};

