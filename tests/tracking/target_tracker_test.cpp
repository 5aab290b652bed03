#include "tracking/target_tracker.h"

#include "common/handles.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

HWND Child(HWND parent, int x, int y, int width, int height, DWORD style = WS_VISIBLE) {
    return CreateWindowExA(0, "STATIC", "", WS_CHILD | style, x, y, width, height, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// A child window of a tree hung on a top-level window at (100, 100),
// 400 x 300; coordinates are the parent's client coordinates.
struct ChildPlan {
    int parent;  // index of an earlier child, or -1 for the top-level window
    int x, y, width, height;
    DWORD style;
};
constexpr int kTop = -1, kNone = -2;
constexpr DWORD kShown = WS_VISIBLE;

struct TreeCase {
    const char* what;
    std::vector<ChildPlan> tree;
    std::vector<std::pair<POINT, int>> expected;  // screen point, the child found there (or kTop, kNone)
};

TEST(WindowTree, PointFindsTheSmallestWindowContainingIt) {
    const TreeCase cases[] = {
        {"no child at the point", {{kTop, 10, 10, 50, 50, kShown}}, {{{300, 300}, kTop}}},
        // The window manager reports the big child at (160, 160); the small one, created after it, lies below.
        {"smaller sibling or nested window",
         {{kTop, 10, 10, 200, 200, kShown}, {kTop, 50, 50, 40, 40, kShown}, {0, 100, 100, 20, 20, kShown}},
         {{{160, 160}, 1}, {{215, 215}, 2}, {{120, 120}, 0}}},
        // A hidden page over a visible one, and a child of it, take no part:
        // the smallest visible window is the target.
        {"hidden and disabled windows",
         {{kTop, 10, 10, 200, 200, kShown}, {kTop, 20, 20, 30, 30, 0}, {kTop, 150, 20, 30, 30, kShown | WS_DISABLED},
          {1, 5, 5, 10, 10, kShown}},
         {{{125, 125}, 0}, {{127, 127}, 0}, {{255, 125}, 2}, {{115, 250}, 0}}},
        {"equal sizes: the first enumerated", {{kTop, 10, 10, 60, 40, kShown}, {kTop, 10, 10, 40, 60, kShown}},
         {{{115, 115}, 0}}},
        // The child covers screen (110,120)-(140,160): left and top edges inside, right and bottom outside.
        {"edges and empty windows",
         {{kTop, 10, 20, 30, 40, kShown}, {kTop, 0, 0, 0, 100, kShown}, {kTop, 0, 0, 100, 0, kShown}},
         {{{110, 120}, 0}, {{139, 159}, 0}, {{140, 130}, kTop}, {{120, 160}, kTop}, {{100, 100}, kTop}}},
        {"no window at all", {}, {{{-20000, -20000}, kNone}}},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.what);
        PatternWindow top(100, 100, 400, 300);
        std::vector<HWND> children;
        for (const ChildPlan& planned : c.tree) {
            const HWND parent = planned.parent == kTop ? top.hwnd() : children[size_t(planned.parent)];
            children.push_back(Child(parent, planned.x, planned.y, planned.width, planned.height, planned.style));
            ASSERT_NE(children.back(), nullptr);
        }
        PumpMessages(50);
        for (const auto& [point, index] : c.expected) {
            const HWND expected = index == kNone ? nullptr : index == kTop ? top.hwnd() : children[size_t(index)];
            EXPECT_EQ(WindowAtPoint(point), expected) << "at " << point.x << ", " << point.y;
        }
    }
}

// A window destroyed while the search enumerates it is passed over.
TEST(WindowTree, SearchPassesOverADestroyedWindow) {
    PatternWindow top(100, 100, 400, 300);
    HWND kept = Child(top.hwnd(), 0, 0, 100, 100);
    HWND gone = Child(top.hwnd(), 0, 0, 60, 60);
    DestroyWindow(gone);
    PointSearch search{INT32_MAX, top.hwnd(), 130, 130};
    EXPECT_TRUE(ChildSearchProc(kept, reinterpret_cast<LPARAM>(&search)));
    EXPECT_TRUE(ChildSearchProc(gone, reinterpret_cast<LPARAM>(&search)));
    EXPECT_EQ(search.Found, kept);
}

// Compares the screen inside a rectangle before and after an action.
class Outline : public ::testing::Test {
protected:
    static constexpr int kX = 150, kY = 120, kWidth = 90, kHeight = 60;
    PatternWindow window{kX, kY, kWidth, kHeight};
    RECT area{kX - 5, kY - 5, kX + kWidth + 5, kY + kHeight + 5};

    ScreenPixels Grab() {
        PumpMessages(60);
        return ReadScreen(area);
    }

    // Pixels that are not as they should be: inverted where inside() holds,
    // where the display can show the inverse (palette displays invert
    // indices, so there they need only differ), and unchanged elsewhere.
    static int WrongPixels(const ScreenPixels& before, const ScreenPixels& after,
                           const std::function<bool(int, int)>& inside, bool report) {
        const bool exactInverse = ScreenBitsPerPixel() > 8;
        int wrong = 0;
        for (int y = 0; y < before.height; ++y)
            for (int x = 0; x < before.width; ++x) {
                const int wx = x - 5, wy = y - 5;
                const bool inWindow = wx >= 0 && wy >= 0 && wx < kWidth && wy < kHeight;
                const uint32_t was = before.at(x, y), now = after.at(x, y);
                bool ok;
                if (inWindow && inside(wx, wy))
                    ok = exactInverse ? now == (was ^ 0xFFFFFFu) : now != was;
                else
                    ok = now == was;
                if (!ok && ++wrong <= 5 && report)
                    ADD_FAILURE() << "window pixel " << wx << "," << wy << " was " << std::hex << was << " now "
                                  << now;
            }
        return wrong;
    }
    static void ExpectInverted(const ScreenPixels& before, const ScreenPixels& after,
                               const std::function<bool(int, int)>& inside) {
        EXPECT_EQ(WrongPixels(before, after, inside, true), 0);
    }
    static bool Everywhere(int, int) { return true; }
};

TEST_F(Outline, FrameInvertsThreePixelBorderAndSecondCallRestores) {
    const ScreenPixels before = Grab();
    InvertFrame(window.hwnd());
    const ScreenPixels framed = Grab();
    // The 3-pixel pen joins its corners round, so the outermost corner pixels stay.
    ExpectInverted(before, framed, [](int x, int y) {
        const bool corner = (x == 0 || x == kWidth - 1) && (y == 0 || y == kHeight - 1);
        return !corner && (x < 3 || y < 3 || x >= kWidth - 3 || y >= kHeight - 3);
    });
    InvertFrame(window.hwnd());
    EXPECT_EQ(Grab().rgb, before.rgb);
}

TEST_F(Outline, WindowInversionCoversEveryPixelAndSecondCallRestores) {
    const ScreenPixels before = Grab();
    InvertWindow(window.hwnd());
    ExpectInverted(before, Grab(), Everywhere);
    InvertWindow(window.hwnd());
    EXPECT_EQ(Grab().rgb, before.rgb);
}

// The flash blocks the thread that makes it, so the screen is watched from a
// second thread, whose waits for messages put this process's drawing on
// the screen. A watcher kept from running for the whole flash by a busy
// machine sees nothing; the flash is then made again, at most three times.
TEST_F(Outline, FlashInvertsTheTargetAndLeavesTheScreenAsItWas) {
    TMiscData data;
    const ScreenPixels before = Grab();
    data.SelectTarget(window.hwnd());
    std::atomic<bool> seenInverted{false};
    for (int flash = 0; flash < 3 && !seenInverted; ++flash) {
        std::atomic<bool> flashing{true};
        std::thread watcher([&] {
            while (flashing && !seenInverted) {
                PumpMessages(5);
                if (WrongPixels(before, ReadScreen(area), Everywhere, false) == 0) seenInverted = true;
            }
        });
        data.FlashTarget();
        flashing = false;
        watcher.join();
        EXPECT_EQ(Grab().rgb, before.rgb) << "flash " << flash + 1;
    }
    EXPECT_TRUE(seenInverted) << "the target was never seen inverted during a flash";

    data.SelectTarget(nullptr);
    data.FlashTarget();
    InvertFrame(nullptr);
    InvertWindow(nullptr);
    RepaintWindow(nullptr);
    EXPECT_EQ(Grab().rgb, before.rgb);
}

// A target of another thread that repaints part of itself while it is
// inverted shows only its own pixels once the flash is over: inverting it
// back turns that part inverted, and the repaint after the flash mends it.
TEST_F(Outline, TargetThatPaintsDuringTheFlashEndsWithItsOwnPixels) {
    std::atomic<HWND> target{nullptr};
    std::atomic<bool> flashing{false}, done{false};
    std::thread owner([&] {
        PatternWindow painted(kX, kY, kWidth, kHeight);
        target = painted.hwnd();
        while (!done) {
            const RECT strip{0, kHeight / 3, kWidth, kHeight / 2};
            if (flashing) RedrawWindow(painted.hwnd(), &strip, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            PumpMessages(10);
        }
    });
    ScopeExit stop([&] {
        done = true;
        owner.join();
    });
    ASSERT_TRUE(WaitUntil([&] { return target.load() != nullptr; }));
    const ScreenPixels before = Grab();
    TMiscData data;
    data.SelectTarget(target);
    flashing = true;
    data.FlashTarget();
    flashing = false;
    EXPECT_TRUE(WaitUntil([&] { return ReadScreen(area).rgb == before.rgb; })) << "streaks stayed inverted";
}

// The three states of a drag, as the dialog moves between them. A hidden
// window selected is not shown.
TEST(TrackerState, EmptyTrackingChosenAndNullSelection) {
    PatternWindow a(50, 50, 40, 40), b(120, 50, 40, 40), hidden(190, 50, 40, 40);
    ShowWindow(hidden.hwnd(), SW_HIDE);
    TMiscData data;
    EXPECT_FALSE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, nullptr);
    EXPECT_EQ(data.Snapshot.FramedWnd, nullptr);

    data.SelectTarget(a.hwnd());
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, a.hwnd());
    EXPECT_EQ(data.Snapshot.FramedWnd, a.hwnd());

    data.SelectTarget(b.hwnd());
    EXPECT_EQ(data.Snapshot.TargetWnd, b.hwnd());
    EXPECT_EQ(data.Snapshot.FramedWnd, b.hwnd());

    data.Snapshot.FramedWnd = nullptr;  // the drag ended: Chosen
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, b.hwnd());

    data.SelectTarget(hidden.hwnd());
    data.SelectTarget(nullptr);
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, nullptr);
    EXPECT_EQ(data.Snapshot.FramedWnd, nullptr);
    PumpMessages(50);
    EXPECT_TRUE(IsWindowVisible(a.hwnd()));
    EXPECT_TRUE(IsWindowVisible(b.hwnd()));
    EXPECT_FALSE(IsWindowVisible(hidden.hwnd()));
}

// A window of another process is found, selected as the dialog does on a
// mouse move, and flashed: its repaint is posted to the other process, which
// is not waited for, and its pixels end as they were.
TEST(ForeignTarget, FoundSelectedAndFlashed) {
    for (const std::string& program : ForeignOwnerPrograms()) {
        SCOPED_TRACE(program);
        ForeignWindow foreign("pixmerle-foreign-target", program);
        ASSERT_NE(foreign.hwnd(), nullptr) << program << " did not show its window";
        EXPECT_EQ(WindowAtPoint(POINT{650, 540}), foreign.hwnd());
        const RECT rect = {600, 500, 720, 590};
        PumpMessages(60);
        const ScreenPixels before = ReadScreen(rect);
        TMiscData data;
        data.CheckTargetProcess();
        data.SelectTarget(foreign.hwnd());
        EXPECT_EQ(data.Snapshot.TargetWnd, foreign.hwnd());
        data.FlashTarget();
        PumpMessages(60);
        EXPECT_EQ(ReadScreen(rect).rgb, before.rgb);
    }
}

}  // namespace
