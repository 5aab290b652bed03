// A long session in one process: a thousand drag selections in the real
// plug-in's dialog, then a thousand captures in BMP mode and a thousand in
// PNG mode, every file read back. What the process holds must stay flat
// through each part.
//
// The drags go through the dialog's own handlers: the press on the finder,
// the moves and the release are posted to the dialog, with the cursor put
// where each move goes (the handlers read it there); real input for every
// move would take minutes under Wine.
//
// The capture mode is fixed when a capture object is made: the BMP object is
// made while no PNG library is in the process, the PNG object after the
// real libpng.dll from the png folder beside this program was loaded, the
// way a host that has it loaded already makes the plug-in find it. That
// comes after the plug-in's dialog, whose first run fixed its own mode.
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

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

// The dialog's drag, driven by posted mouse messages.
class PostedDrag {
public:
    explicit PostedDrag(CaptureDialog& dialog) : dialog_(dialog) {}

    // One move over the point, pressing the finder first when no drag is on;
    // true once the dialog has handled it.
    bool MoveOver(POINT point) {
        if (!dragging_) {
            Post(WM_LBUTTONDOWN, Centre(dialog_.ItemRect(IDC_FINDER)));
            dragging_ = dialog_.probe().Ping() && dialog_.Capture() == dialog_.hwnd();
            if (!dragging_) return false;
        }
        SetCursorPos(point.x, point.y);
        Post(WM_MOUSEMOVE, point);
        return dialog_.probe().Ping();
    }
    bool LetGo() {
        if (!dragging_) return true;
        dragging_ = false;
        POINT cursor{};
        GetCursorPos(&cursor);
        Post(WM_LBUTTONUP, cursor);
        return dialog_.probe().Ping() && dialog_.Capture() == nullptr;
    }

private:
    void Post(UINT message, POINT at) {
        ScreenToClient(dialog_.hwnd(), &at);
        PostMessageA(dialog_.hwnd(), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
    }

    CaptureDialog& dialog_;
    bool dragging_ = false;
};

// Whether the screen shows the window's pixel (1, 1) inverted, as under the
// dialog's outline (palette displays invert the colour's index instead).
bool OutlinedOnScreen(const Target& target) {
    const RECT rect = WindowRect(target.window.hwnd());
    const uint32_t seen = ReadScreen(RECT{rect.left + 1, rect.top + 1, rect.left + 2, rect.top + 2}).at(0, 0);
    const uint32_t plain = target.window.ColourAt(1, 1);
    return ScreenBitsPerPixel() > 8 ? seen == (plain ^ 0xFFFFFFu) : seen != plain;
}

// Whether the screen shows every pixel of the window as painted.
bool ShownPlain(const Target& target) {
    const ScreenPixels seen = ReadScreen(WindowRect(target.window.hwnd()));
    for (int y = 0; y < seen.height; ++y)
        for (int x = 0; x < seen.width; ++x)
            if (seen.at(x, y) != target.window.ColourAt(x, y)) return false;
    return true;
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
    // Nothing may grow; Wine now and then gives back an object of its own
    // that it made lazily during the warm-up.
    EXPECT_LE(after.gdiObjects, before.gdiObjects) << phase;
    EXPECT_LE(after.kernelHandles, before.kernelHandles) << phase;
    EXPECT_LT(after.privateBytes, before.privateBytes + kPrivateSlack) << phase;
}

TEST(Soak, ThousandSelectionsAndThousandCapturesInEachModeHoldNothingBack) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    ASSERT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "a PNG library is in the process already";
    const PatternWindow left(30, 30, 161, 121), right(240, 30, 160, 120);
    const Target targets[2] = {{left}, {right}};
    TempDir dir;
    TScreenShot bmpShot;
    ASSERT_FALSE(bmpShot.PngAvailable);

    // The selections, in the dialog's session.
    RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        PostedDrag drag(d);
        int unhandled = 0, wrongOutlines = 0;
        // Back and forth, with moves inside a window between, and a release every few.
        const auto select = [&](int rounds) {
            for (int i = 0; i < rounds; ++i) {
                POINT point = targets[i % 2].Centre();
                if (!drag.MoveOver(point)) ++unhandled;
                point.x += 1 + i % 7;
                if (!drag.MoveOver(point)) ++unhandled;
                if (!OutlinedOnScreen(targets[i % 2]) || OutlinedOnScreen(targets[1 - i % 2])) ++wrongOutlines;
                if (i % 10 == 9 && !drag.LetGo()) ++unhandled;
            }
            if (!drag.LetGo()) ++unhandled;
            for (const Target& target : targets)
                if (!ShownPlain(target)) ++wrongOutlines;
        };
        select(kWarmUp);
        const DWORD start = GetTickCount();
        const Usage warm = MeasureUsage();
        select(kRounds);
        const Usage selected = MeasureUsage();
        EXPECT_EQ(unhandled, 0) << "moves the dialog did not handle in time";
        EXPECT_EQ(wrongOutlines, 0) << "selections that left an outline on the wrong window";
        Report("selections", warm, selected, start);
    });

    // Loaded only now: the plug-in fixed its own mode at its first dialog.
    UniqueModule libpng(LoadLibraryA((ProgramFolder() + "png\\libpng.dll").c_str()));
    ASSERT_TRUE(libpng) << "no libpng.dll in the png folder";
    auto pngShot = std::make_unique<TScreenShot>();
    ASSERT_TRUE(pngShot->PngAvailable);

    for (int i = 0; i < kWarmUp; ++i) {
        ASSERT_EQ(CaptureOnce(bmpShot, targets[i % 2], dir), "");
        ASSERT_EQ(CaptureOnce(*pngShot, targets[i % 2], dir), "");
    }
    const DWORD start = GetTickCount();
    DWORD phaseStart = start;
    const Usage warm = MeasureUsage();
    std::string firstProblem;
    int bad = 0;
    for (int i = 0; i < kRounds; ++i) {
        const std::string problem = CaptureOnce(bmpShot, targets[i % 2], dir);
        if (!problem.empty() && bad++ == 0) firstProblem = problem;
    }
    const Usage afterBmp = MeasureUsage();
    EXPECT_EQ(bad, 0) << "BMP captures went wrong, the first: " << firstProblem;
    Report("BMP", warm, afterBmp, phaseStart);
    phaseStart = GetTickCount();

    bad = 0;
    for (int i = 0; i < kRounds; ++i) {
        const std::string problem = CaptureOnce(*pngShot, targets[i % 2], dir);
        if (!problem.empty() && bad++ == 0) firstProblem = problem;
    }
    const Usage afterPng = MeasureUsage();
    EXPECT_EQ(bad, 0) << "PNG captures went wrong, the first: " << firstProblem;
    Report("PNG", afterBmp, afterPng, phaseStart);
    Report("captures", warm, afterPng, start);

    pngShot.reset();
    libpng.reset();
    EXPECT_EQ(GetModuleHandleA("libpng.dll"), nullptr) << "the PNG object kept the library loaded";
}

}  // namespace
