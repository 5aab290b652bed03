// Today's displays, each suite in a setting of its own (tests/CMakeLists.txt):
// the visible frame a compositor reports (a stand-in dwmapi.dll), an unaware
// host at 144 DPI, and a desktop of three monitors.
#include "capture/screen_shot.h"
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/support/capture_file.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tracking/target_tracker.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The stand-in's answers (stand_in_dwmapi.c) and the borders it leaves out.
enum Answer : LONG { kFrame, kFail, kEmpty, kInverted, kLarger };
constexpr int kBorder = 7;

template <typename F>
F Export(const char* module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA(module), name)));
}

void StandInAnswers(Answer answer) {
    const auto set = Export<void(WINAPI*)(LONG)>("dwmapi.dll", "StandInDwmAnswer");
    ASSERT_NE(set, nullptr) << "the stand-in dwmapi.dll is not loaded";
    set(answer);
}

HANDLE ThreadContext() { return Export<HANDLE(WINAPI*)()>("user32.dll", "GetThreadDpiAwarenessContext")(); }
HANDLE SwitchThread(HANDLE context) {
    return Export<HANDLE(WINAPI*)(HANDLE)>("user32.dll", "SetThreadDpiAwarenessContext")(context);
}
const HANDLE kUnaware = reinterpret_cast<HANDLE>(INT_PTR(-1));

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }
RECT StandInFrame(const RECT& r) { return RECT{r.left + kBorder, r.top, r.right - kBorder, r.bottom - kBorder}; }
RECT Grown(const RECT& r) { return RECT{r.left - 4, r.top - 4, r.right + 4, r.bottom + 4}; }

// The pattern of `window` (at `rect` on the screen) seen through `part`.
ColourAt PatternSeenIn(const PatternWindow& window, const RECT& rect, const RECT& part) {
    const int dx = part.left - rect.left, dy = part.top - rect.top, w = window.width(), h = window.height();
    return [=](int x, int y) { return PatternWindow::ColourAt(x + dx, y + dy, w, h); };
}

// Empty when the screen inside `area` shows `plain` (area coordinates),
// inverted over all of `marked` or on its 3-pixel outline, whose round
// joins leave the 4 outermost corner pixels; else what is wrong.
enum class Mark { None, Outline, Whole };
std::string ScreenMismatch(const RECT& area, const ColourAt& plain, const RECT& marked, Mark mark) {
    const ScreenPixels now = ReadScreen(area);
    const int w = Width(marked), h = Height(marked);
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < now.height; ++y)
        for (int x = 0; x < now.width; ++x) {
            const int mx = area.left + x - marked.left, my = area.top + y - marked.top;
            const bool inside = mx >= 0 && my >= 0 && mx < w && my < h;
            const bool edge = mx < 3 || my < 3 || mx >= w - 3 || my >= h - 3;
            const bool corner = (mx == 0 || mx == w - 1) && (my == 0 || my == h - 1);
            const bool inverted = inside && (mark == Mark::Whole || (mark == Mark::Outline && edge && !corner));
            const uint32_t expected = plain(x, y) ^ (inverted ? 0xFFFFFFu : 0u);
            if (now.at(x, y) != expected && ++wrong <= 3)
                first << " (" << area.left + x << "," << area.top + y << ") is " << std::hex << now.at(x, y)
                      << " not " << expected << std::dec << ";";
        }
    return wrong ? std::to_string(wrong) + " screen pixels differ:" + first.str() : std::string();
}

// Waits, pumping so that this process's drawing reaches the screen.
void ExpectScreen(const RECT& area, const ColourAt& plain, const RECT& marked, Mark mark, const char* when) {
    std::string problem;
    WaitUntil([&] {
        PumpMessages(20);
        return (problem = ScreenMismatch(area, plain, marked, mark)).empty();
    }, kAnswerMs);
    EXPECT_EQ(problem, "") << when;
}

ColourAt ScreenNow(const RECT& area) {
    PumpMessages(60);
    const ScreenPixels now = ReadScreen(area);
    return [now](int x, int y) { return now.at(x, y); };
}

// Compares the one file in the folder with `part` of the screen, whose
// colours `colour` gives, and empties the folder.
void ExpectFileOf(const TempDir& dir, const RECT& part, const ColourAt& colour) {
    const std::vector<std::string> files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(CaptureFileMismatch(dir.file(files[0]), Width(part), Height(part), colour), "");
    DeleteFileA(dir.file(files[0]).c_str());
}

StartPluginFn StartPlugin() {
    ExpectPluginFromProgramFolder();
    return PluginEntry<StartPluginFn>("StartPlugin");
}

// A top-level window is taken by the frame the stand-in reports, unless
// that answer fails or makes no sense; a child window by its rectangle.
TEST(Compositor, CaptureOutlineAndInversionKeepToTheVisibleFrameOfTopLevelWindows) {
    PatternWindow window(100, 80, 201, 121);
    const RECT rect = WindowRect(window.hwnd()), around = Grown(rect);
    const ColourAt plain = ScreenNow(around);
    TScreenShot shot;
    TempDir dir;
    for (Answer answer : {kFrame, kFail, kEmpty, kInverted, kLarger}) {
        SCOPED_TRACE("stand-in answer " + std::to_string(answer));
        ASSERT_NO_FATAL_FAILURE(StandInAnswers(answer));
        const RECT shown = answer == kFrame ? StandInFrame(rect) : rect;
        ASSERT_TRUE(shot.CaptureToFolder(window.hwnd(), dir.path().c_str()));
        ExpectFileOf(dir, shown, PatternSeenIn(window, rect, shown));
        InvertFrame(window.hwnd());
        ExpectScreen(around, plain, shown, Mark::Outline, "outlined");
        InvertFrame(window.hwnd());
        InvertWindow(window.hwnd());
        ExpectScreen(around, plain, shown, Mark::Whole, "inverted as by a flash");
        InvertWindow(window.hwnd());
        ExpectScreen(around, plain, shown, Mark::None, "drawn twice");
    }
    const HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 3, 5, 50, 40,
                                       window.hwnd(), nullptr, GetModuleHandleA(nullptr), nullptr);
    const RECT childRect = WindowRect(child);
    const ColourAt childColours = ScreenNow(childRect);
    ASSERT_TRUE(shot.CaptureToFolder(child, dir.path().c_str()));
    ExpectFileOf(dir, childRect, childColours);
}

// The dialog opens in the middle of the screen, above the target (not top-
// most here). Wine, like a compositor, shows what hiding the dialog
// uncovers a little later: without a wait the file shows the dialog.
TEST(Compositor, HidingForTheCaptureWaitsUntilTheScreenShowsWhatWasUnderTheDialog) {
    const StartPluginFn start = StartPlugin();
    ASSERT_NE(start, nullptr);
    ASSERT_NO_FATAL_FAILURE(StandInAnswers(kFrame));
    PatternWindow target(ScreenWidth() / 2 - 220, ScreenHeight() / 2 - 150, 440, 300);
    SetWindowPos(target.hwnd(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const RECT rect = WindowRect(target.hwnd()), frame = StandInFrame(rect);
    const auto flushes = Export<LONG(WINAPI*)()>("dwmapi.dll", "StandInDwmFlushes");
    TempDir dir;
    RunPluginDialog([&] { return start(0); }, [&](CaptureDialog& d) {
        const RECT box = WindowRect(d.hwnd());
        RECT covered;
        ASSERT_TRUE(IntersectRect(&covered, &box, &frame) && EqualRect(&covered, &box)) << "the dialog is elsewhere";
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()) && d.Click(IDC_HIDE_ON_CAPTURE));
        ASSERT_TRUE(d.DragTo(POINT{frame.left + 20, frame.top + 20}));
        const LONG before = flushes();
        ASSERT_TRUE(d.TakeCapture());
        EXPECT_EQ(flushes() - before, 1) << "DwmFlush calls for one capture";
    });
    ExpectFileOf(dir, frame, PatternSeenIn(target, rect, frame));
}

// An old host's thread is DPI-unaware; Wine 8 starts processes per-monitor
// aware, so the test's thread switches itself. Unaware windows get no input
// from SendInput here: the drag is posted to the dialog, the cursor set.
TEST(Scaling, UnawareHostGetsPhysicalPixelsEverywhereAndKeepsItsContext) {
    const StartPluginFn start = StartPlugin();
    ASSERT_NE(start, nullptr);
    ASSERT_NO_FATAL_FAILURE(StandInAnswers(kFrame));
    ASSERT_EQ(GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSX), 144) << "the prefix is not scaled";
    // Per-monitor aware, made before the switch; clear of the unaware
    // dialog, whose X window keeps its unscaled place.
    PatternWindow target(680, 520, 274, 181);
    const RECT rect = WindowRect(target.hwnd()), frame = StandInFrame(rect), around = Grown(rect);
    const ColourAt plain = ScreenNow(around), inFrame = PatternSeenIn(target, rect, frame);
    TempDir dir;

    const HANDLE processDefault = SwitchThread(kUnaware);
    ASSERT_NE(processDefault, nullptr);
    const HANDLE unaware = ThreadContext();
    HANDLE afterDialog = nullptr;
    RunPluginDialog([&] {
        const INT_PTR result = start(0);
        afterDialog = ThreadContext();
        return result;
    }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        const HANDLE driverContext = SwitchThread(kUnaware);  // the dialog's own coordinates
        POINT finder = Centre(d.ItemRect(IDC_FINDER));
        ScreenToClient(d.hwnd(), &finder);
        SwitchThread(driverContext);
        PostMessageA(d.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(finder.x, finder.y));
        ASSERT_TRUE(WaitUntil([&] { return d.Capture() == d.hwnd(); })) << "the drag did not begin";
        SetCursorPos(frame.left + 30, frame.top + 30);
        PostMessageA(d.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, 0);
        ASSERT_TRUE(d.Settle());
        ExpectScreen(around, plain, frame, Mark::Outline, "during the drag");
        PostMessageA(d.hwnd(), WM_LBUTTONUP, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return d.Capture() == nullptr; }) && d.Settle());
        ExpectScreen(around, plain, frame, Mark::None, "after the drag");
        ASSERT_TRUE(d.TakeCapture());
    });
    EXPECT_EQ(afterDialog, unaware) << "the host thread's DPI context changed";
    ExpectFileOf(dir, frame, inFrame);

    // Straight from the unaware thread, outside any window procedure: the
    // inversion of a flash, and a capture.
    InvertWindow(target.hwnd());
    ExpectScreen(around, plain, frame, Mark::Whole, "inverted as by a flash");
    InvertWindow(target.hwnd());
    ExpectScreen(around, plain, frame, Mark::None, "inverted twice");
    TScreenShot shot;
    EXPECT_TRUE(shot.CaptureToFolder(target.hwnd(), dir.path().c_str()));
    EXPECT_EQ(ThreadContext(), unaware);
    SwitchThread(processDefault);
    ExpectFileOf(dir, frame, inFrame);
}

// Real mouse input anywhere on the virtual screen.
bool MoveOnDesktop(CaptureDialog& d, POINT at) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = LONG((int64_t(at.x - left) * 2 + 1) * 32768 / GetSystemMetrics(SM_CXVIRTUALSCREEN));
    input.mi.dy = LONG((int64_t(at.y - top) * 2 + 1) * 32768 / GetSystemMetrics(SM_CYVIRTUALSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    SendInput(1, &input, sizeof(input));
    return WaitUntil([&] {
        POINT cursor{};
        return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
    }) && d.probe().Ping();
}

// The primary monitor (0,0)-(1024,768), one left of it (-800,0)-(0,600),
// one right of it (1024,0)-(1824,600).
TEST(Monitors, WindowsOnEveryMonitorArePickedOutlinedAndCapturedWhereTheyAre) {
    const StartPluginFn start = StartPlugin();
    ASSERT_NE(start, nullptr);
    ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 3);
    ASSERT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), -800);
    PatternWindow right(1100, 60, 301, 201), left(-700, 80, 281, 191), across(880, 300, 301, 151);
    PatternWindow partly(1600, 500, 151, 161);  // its last 61 rows on no monitor
    TempDir dir;
    RunPluginDialog([&] { return start(0); }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        for (const PatternWindow* target : {&right, &left, &across, &partly}) {
            const RECT rect = WindowRect(target->hwnd()), around = Grown(rect);
            SCOPED_TRACE("target at " + std::to_string(rect.left) + "," + std::to_string(rect.top));
            const ColourAt plain = ScreenNow(around), pattern = PatternSeenIn(*target, rect, rect);
            ASSERT_TRUE(d.PressFinder() && MoveOnDesktop(d, POINT{rect.left + 10, rect.top + 10}));
            if (target != &partly) ExpectScreen(around, plain, rect, Mark::Outline, "during the drag");
            ASSERT_TRUE(d.ReleaseButton());
            ASSERT_TRUE(d.TakeCapture());
            // Below y 600 only the primary monitor reaches.
            ExpectFileOf(dir, rect, [&](int x, int y) { return rect.top + y < 600 ? pattern(x, y) : 0u; });
        }
        // Moved to another monitor after the pick: captured where it is now.
        SetWindowPos(partly.hwnd(), nullptr, -600, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        const RECT moved = WindowRect(partly.hwnd());
        ASSERT_TRUE(d.Settle() && d.TakeCapture());
        ExpectFileOf(dir, moved, PatternSeenIn(partly, moved, moved));
    });
}

}  // namespace
