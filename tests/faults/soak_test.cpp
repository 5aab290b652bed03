// A long session in one process: a thousand drag selections over real
// windows, then a thousand captures in BMP mode and a thousand in PNG mode,
// every file read back. What the process holds must stay flat.
//
// The capture mode is fixed when a capture object is made: the BMP object is
// made while no PNG library is in the process, the PNG object after the
// real libpng.dll from the png folder beside this program was loaded, the
// way a host that has it loaded already makes the plug-in find it.
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "tests/faults/fault_support.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tracking/misc_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRounds = 1000;
constexpr int kWarmUp = 20;
// Heaps and Wine's own tables grow in steps; one leaked image per round
// would be a hundred times this.
constexpr uint64_t kPrivateSlack = 1024 * 1024;

struct Target {
    const PatternWindow& window;
    POINT Centre() const { return ::Centre(WindowRect(window.hwnd())); }
    ColourAt Colour() const { return [&w = window](int x, int y) { return w.ColourAt(x, y); }; }
};

// One mouse move of a drag, as the dialog makes it.
void MoveOver(TMiscData& tracker, POINT point) {
    const HWND pointed = WindowAtPoint(point);
    tracker.CheckTargetProcess(nullptr);
    const HWND framed = tracker.Snapshot.FramedWnd;
    if (framed == pointed) return;
    tracker.RehideTarget(framed);
    if (framed) InvertFrame(framed);
    tracker.SelectTarget(pointed, nullptr);
    InvertFrame(tracker.Snapshot.TargetWnd);
}

// The end of a drag, as the dialog makes it.
void LetGo(TMiscData& tracker) {
    tracker.RehideTarget(tracker.Snapshot.TargetWnd);
    if (tracker.Snapshot.TargetWnd) InvertFrame(tracker.Snapshot.FramedWnd);
    tracker.Snapshot.FramedWnd = nullptr;
}

// Captures into the empty folder, checks the file and removes it; empty
// when all is well.
std::string CaptureOnce(TScreenShot& shot, const Target& target, const TempDir& dir) {
    if (!shot.CaptureToFolder(target.window.hwnd(), dir.path().c_str())) return "the capture failed";
    const std::vector<std::string> files = dir.Files();
    if (files.size() != 1) return std::to_string(files.size()) + " files in the folder";
    const std::string problem =
        CaptureFileMismatch(dir.file(files[0]), target.window.width(), target.window.height(), target.Colour());
    if (!DeleteFileA(dir.file(files[0]).c_str())) return files[0] + " cannot be removed";
    return problem;
}

void Report(const char* phase, const Usage& before, const Usage& after, DWORD since) {
    std::printf("soak %-10s %s -> %s (%lu ms)\n", phase, Describe(before).c_str(), Describe(after).c_str(),
                static_cast<unsigned long>(GetTickCount() - since));
    std::fflush(stdout);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects) << phase;
    EXPECT_EQ(after.kernelHandles, before.kernelHandles) << phase;
    EXPECT_LT(after.privateBytes, before.privateBytes + kPrivateSlack) << phase;
}

TEST(Soak, ThousandSelectionsAndThousandCapturesInEachModeHoldNothingBack) {
    ASSERT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "a PNG library is in the process already";
    const PatternWindow left(30, 30, 161, 121), right(240, 30, 160, 120);
    const Target targets[2] = {{left}, {right}};
    TMiscData tracker;
    TempDir dir;
    TScreenShot bmpShot;
    ASSERT_FALSE(bmpShot.PngAvailable);
    UniqueModule libpng(LoadLibraryA((ProgramFolder() + "png\\libpng.dll").c_str()));
    ASSERT_TRUE(libpng) << "no libpng.dll in the png folder";
    auto pngShot = std::make_unique<TScreenShot>();
    ASSERT_TRUE(pngShot->PngAvailable);

    for (int i = 0; i < kWarmUp; ++i) {
        MoveOver(tracker, targets[i % 2].Centre());
        if (i % 5 == 4) LetGo(tracker);
    }
    LetGo(tracker);
    PumpMessages(50);
    for (int i = 0; i < kWarmUp; ++i) {
        ASSERT_EQ(CaptureOnce(bmpShot, targets[i % 2], dir), "");
        ASSERT_EQ(CaptureOnce(*pngShot, targets[i % 2], dir), "");
    }

    const DWORD start = GetTickCount();
    DWORD phaseStart = start;
    const Usage warm = MeasureUsage();
    int wrongTargets = 0;
    // Back and forth, with moves inside a window between, and a release every few.
    for (int i = 0; i < kRounds; ++i) {
        const Target& target = targets[i % 2];
        POINT point = target.Centre();
        MoveOver(tracker, point);
        point.x += 1 + i % 7;
        MoveOver(tracker, point);
        if (!tracker.HasTarget || tracker.Snapshot.TargetWnd != target.window.hwnd()) ++wrongTargets;
        if (i % 10 == 9) LetGo(tracker);
    }
    LetGo(tracker);
    PumpMessages(50);
    const Usage selected = MeasureUsage();
    EXPECT_EQ(wrongTargets, 0) << "selections that picked the wrong window";
    for (const Target& target : targets) {
        const ScreenPixels seen = ReadScreen(WindowRect(target.window.hwnd()));
        int wrong = 0;
        for (int y = 0; y < seen.height; ++y)
            for (int x = 0; x < seen.width; ++x)
                if (seen.at(x, y) != target.window.ColourAt(x, y)) ++wrong;
        EXPECT_EQ(wrong, 0) << "pixels of a window still inverted after the drags";
    }
    Report("selections", warm, selected, phaseStart);
    phaseStart = GetTickCount();

    std::string firstProblem;
    int bad = 0;
    for (int i = 0; i < kRounds; ++i) {
        const std::string problem = CaptureOnce(bmpShot, targets[i % 2], dir);
        if (!problem.empty() && bad++ == 0) firstProblem = problem;
    }
    const Usage afterBmp = MeasureUsage();
    EXPECT_EQ(bad, 0) << "BMP captures went wrong, the first: " << firstProblem;
    Report("BMP", selected, afterBmp, phaseStart);
    phaseStart = GetTickCount();

    bad = 0;
    for (int i = 0; i < kRounds; ++i) {
        const std::string problem = CaptureOnce(*pngShot, targets[i % 2], dir);
        if (!problem.empty() && bad++ == 0) firstProblem = problem;
    }
    const Usage afterPng = MeasureUsage();
    EXPECT_EQ(bad, 0) << "PNG captures went wrong, the first: " << firstProblem;
    Report("PNG", afterBmp, afterPng, phaseStart);
    Report("all", warm, afterPng, start);

    pngShot.reset();
    libpng.reset();
    EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "the PNG object kept the library loaded";
}

}  // namespace
