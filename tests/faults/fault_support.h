#pragma once
// What the fault tests share: the capture mode this program was built for,
// usage counts, checking a capture file pixel by pixel, windows whose pixels
// do not compress, windows whose thread stops answering, and a file that
// fills a small file system.
#include "common/handles.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// True in the program that has the real libpng.dll beside it: the plug-in
// and every capture object then write PNG files.
bool PngBuild();
// The extension capture files get in this program.
const char* CaptureExtension();

struct Usage {
    int gdiObjects = 0;
    int kernelHandles = 0;
    uint64_t privateBytes = 0;
};
Usage MeasureUsage();
std::string Describe(const Usage& usage);

// The colour of a pixel at window coordinates, as 0x00RRGGBB.
using ColourAt = std::function<uint32_t(int x, int y)>;

// Reads a capture file (PNG or BMP, by its content) and compares its size
// and every pixel; empty when it matches, else what is wrong.
std::string CaptureFileMismatch(const std::string& path, int width, int height, const ColourAt& colour);

class CaptureDialog;
class PatternWindow;
class TempDir;

// Drags the dialog's finder onto the target, captures into `dir`, the folder
// the dialog shows, and checks the one file that arrives against the target.
void ExpectCaptureOf(CaptureDialog& dialog, const PatternWindow& target, const TempDir& dir);

// A top-most pop-up filled with pure colours chosen pseudo-randomly per
// pixel: its captures do not compress, and every pixel is known exactly at
// every display depth.
class NoiseWindow {
public:
    NoiseWindow(int x, int y, int width, int height);
    ~NoiseWindow();
    NoiseWindow(const NoiseWindow&) = delete;
    NoiseWindow& operator=(const NoiseWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    static uint32_t ColourAt(int x, int y);

private:
    HWND hwnd_ = nullptr;
};

// A solid top-most window served by a thread of its own, which can be made
// to stop taking messages: at once, or when it is next asked for its text.
// It takes messages again on Release, or by itself after a long while so
// that a test that goes wrong still ends.
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
    // How long the thread stays stuck when nobody releases it.
    static constexpr DWORD kLongestHangMs = 60000;

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
    uint32_t rgb_;
    std::thread thread_;
};

// A folder of its own under `base`, removed with its files. Programs in
// other Wine prefixes may share `base` and even this process's id.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& base);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }  // empty when none could be made

private:
    std::string path_;
};

// Fills a small file system with one file, then gives back `leaveFree`
// bytes of it: what is written there next runs out of space.
class DiskFiller {
public:
    // The file goes into `folder`, which should be the caller's own.
    DiskFiller(const std::string& folder, uint64_t leaveFree);
    ~DiskFiller();
    DiskFiller(const DiskFiller&) = delete;
    DiskFiller& operator=(const DiskFiller&) = delete;
    bool filled() const { return filled_; }
    const std::string& problem() const { return problem_; }

private:
    std::string path_;
    bool filled_ = false;
    std::string problem_;
};
