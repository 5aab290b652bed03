#pragma once
// What the fault tests share: the capture mode this program was built for,
// windows whose pixels do not compress, and a file that fills a small file
// system.
#include "tests/support/capture_file.h"
#include "tests/support/hung_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/temp_dir.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// True in the program that has the real libpng.dll beside it: the plug-in
// and every capture object then write PNG files.
bool PngBuild();
// The extension capture files get in this program.
const char* CaptureExtension();

class CaptureDialog;
class PatternWindow;
class TempDir;

// The folder holds one file, a capture of the target in this program's format.
void ExpectOnlyCaptureOf(const PatternWindow& target, const std::string& folder);
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
