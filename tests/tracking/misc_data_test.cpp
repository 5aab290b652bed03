#include "tracking/misc_data.h"
#include "tests/support/child_process.h"
#include "tests/support/pattern_window.h"
#include "tests/support/process_usage.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

HWND Child(HWND parent, int x, int y, int width, int height, DWORD style = WS_VISIBLE, int id = 0) {
    return CreateWindowExA(0, "STATIC", "", WS_CHILD | style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

// A top-level window at (100, 100), 400 x 300, to hang child windows on.
class WindowTree : public ::testing::Test {
protected:
    PatternWindow top{100, 100, 400, 300};
    HWND At(int x, int y) { return WindowAtPoint(POINT{x, y}); }
};

TEST_F(WindowTree, TopLevelWindowWithoutMatchingChildIsFound) {
    Child(top.hwnd(), 10, 10, 50, 50);
    EXPECT_EQ(At(300, 300), top.hwnd());
}

TEST_F(WindowTree, SmallerSiblingOrNestedWindowWins) {
    HWND big = Child(top.hwnd(), 10, 10, 200, 200);
    HWND small = Child(top.hwnd(), 50, 50, 40, 40);  // created after, so below big
    HWND nested = Child(big, 100, 100, 20, 20);      // at screen (210, 210)
    PumpMessages(50);
    EXPECT_EQ(At(160, 160), small);  // the window manager reports big here
    EXPECT_EQ(At(215, 215), nested);
    EXPECT_EQ(At(120, 120), big);
}

TEST_F(WindowTree, HiddenAndDisabledWindowsTakePart) {
    HWND big = Child(top.hwnd(), 10, 10, 200, 200);
    HWND hidden = Child(top.hwnd(), 20, 20, 30, 30, 0);
    HWND disabled = Child(top.hwnd(), 150, 20, 30, 30, WS_VISIBLE | WS_DISABLED);
    EXPECT_EQ(At(125, 125), hidden);
    EXPECT_EQ(At(255, 125), disabled);
    EXPECT_EQ(At(115, 250), big);
}

TEST_F(WindowTree, EqualSizesKeepTheFirstEnumerated) {
    HWND first = Child(top.hwnd(), 10, 10, 60, 40);
    Child(top.hwnd(), 10, 10, 40, 60);
    EXPECT_EQ(At(115, 115), first);
}

TEST_F(WindowTree, EdgesAndEmptyWindows) {
    HWND child = Child(top.hwnd(), 10, 20, 30, 40);  // screen (110,120)-(140,160)
    Child(top.hwnd(), 0, 0, 0, 100);                 // zero width
    Child(top.hwnd(), 0, 0, 100, 0);                 // zero height
    EXPECT_EQ(At(110, 120), child);                  // left and top edges are inside
    EXPECT_EQ(At(139, 159), child);
    EXPECT_EQ(At(140, 130), top.hwnd());             // right edge is outside
    EXPECT_EQ(At(120, 160), top.hwnd());             // bottom edge is outside
    EXPECT_EQ(At(100, 100), top.hwnd());             // the zero-sized windows never match
}

TEST_F(WindowTree, PointOverNoWindowGivesNull) {
    EXPECT_EQ(At(-20000, -20000), nullptr);
}

TEST_F(WindowTree, ChildSearchKeepsTheSmallestContainingWindow) {
    HWND a = Child(top.hwnd(), 0, 0, 100, 100);
    HWND b = Child(top.hwnd(), 0, 0, 60, 60);
    PointSearch search{INT32_MAX, top.hwnd(), 130, 130};
    EXPECT_TRUE(ChildSearchProc(a, reinterpret_cast<LPARAM>(&search)));
    EXPECT_EQ(search.Found, a);
    EXPECT_EQ(search.BestSize, 200);
    EXPECT_TRUE(ChildSearchProc(b, reinterpret_cast<LPARAM>(&search)));
    EXPECT_EQ(search.Found, b);
    EXPECT_EQ(search.BestSize, 120);
    EXPECT_TRUE(ChildSearchProc(a, reinterpret_cast<LPARAM>(&search)));
    EXPECT_EQ(search.Found, b);
    DestroyWindow(a);
    EXPECT_TRUE(ChildSearchProc(a, reinterpret_cast<LPARAM>(&search)));  // stale handle is skipped
    EXPECT_EQ(search.Found, b);
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

    // Checks that exactly the pixels for which inside() holds changed, and
    // that they changed to their inverse where the display can show it.
    void ExpectInverted(const ScreenPixels& before, const ScreenPixels& after,
                        const std::function<bool(int, int)>& inside) {
        const bool exactInverse = ScreenBitsPerPixel() > 8;  // palette displays invert indices
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
                if (!ok && ++wrong <= 5)
                    ADD_FAILURE() << "window pixel " << wx << "," << wy << " was " << std::hex << was << " now "
                                  << now;
            }
        EXPECT_EQ(wrong, 0);
    }
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
    ExpectInverted(before, Grab(), [](int, int) { return true; });
    InvertWindow(window.hwnd());
    EXPECT_EQ(Grab().rgb, before.rgb);
}

TEST_F(Outline, FlashLeavesTheScreenAsItWas) {
    TMiscData data;
    const ScreenPixels before = Grab();
    data.SelectTarget(window.hwnd(), nullptr);
    data.FlashTarget();
    EXPECT_EQ(Grab().rgb, before.rgb);

    data.SelectTarget(nullptr, nullptr);
    data.FlashTarget();
    InvertFrame(nullptr);
    InvertWindow(nullptr);
    RepaintWindow(nullptr);
    EXPECT_EQ(Grab().rgb, before.rgb);
}

TEST_F(Outline, ThousandsOfDrawEraseCyclesLeakNothing) {
    for (int i = 0; i < 10; ++i) InvertFrame(window.hwnd());
    const int gdi = LiveGdiObjects();
    const uint64_t memory = PrivateBytes();
    for (int i = 0; i < 2000; ++i) {
        InvertFrame(window.hwnd());
        InvertFrame(window.hwnd());
    }
    EXPECT_EQ(LiveGdiObjects(), gdi);
    EXPECT_LT(PrivateBytes(), memory + 256 * 1024);
    const ScreenPixels before = Grab();
    InvertFrame(window.hwnd());
    InvertFrame(window.hwnd());
    EXPECT_EQ(Grab().rgb, before.rgb);
}

TEST(TrackerState, EmptyTrackingChosenAndNullSelection) {
    PatternWindow a(50, 50, 40, 40), b(120, 50, 40, 40);
    TMiscData data;
    EXPECT_FALSE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, nullptr);
    EXPECT_EQ(data.Snapshot.FramedWnd, nullptr);

    data.SelectTarget(a.hwnd(), nullptr);
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, a.hwnd());
    EXPECT_EQ(data.Snapshot.FramedWnd, a.hwnd());

    data.SelectTarget(b.hwnd(), nullptr);
    EXPECT_EQ(data.Snapshot.TargetWnd, b.hwnd());
    EXPECT_EQ(data.Snapshot.FramedWnd, b.hwnd());

    data.Snapshot.FramedWnd = nullptr;  // the drag ended: Chosen
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, b.hwnd());

    data.SelectTarget(nullptr, nullptr);
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, nullptr);
    EXPECT_EQ(data.Snapshot.FramedWnd, nullptr);
    EXPECT_FALSE(data.Revealed);
}

TEST(TrackerState, ClearKeepsProcessCursorRevealAndOptions) {
    PatternWindow a(50, 50, 40, 40);
    TMiscData data;
    data.SelectTarget(a.hwnd(), nullptr);
    data.ForeignProcess = true;
    data.CursorPos = POINT{12, 34};
    data.Revealed = true;
    data.CopyTextOnSelect = true;
    data.RevealHidden = true;
    data.DragCursor = LoadCursorA(nullptr, IDC_CROSS);
    data.Clear();
    EXPECT_FALSE(data.HasTarget);
    EXPECT_EQ(data.Snapshot.TargetWnd, nullptr);
    EXPECT_EQ(data.Snapshot.FramedWnd, nullptr);
    EXPECT_TRUE(data.ForeignProcess);
    EXPECT_EQ(data.CursorPos.x, 12);
    EXPECT_EQ(data.CursorPos.y, 34);
    EXPECT_TRUE(data.Revealed);
    EXPECT_TRUE(data.CopyTextOnSelect);
    EXPECT_TRUE(data.RevealHidden);
    EXPECT_EQ(data.DragCursor, LoadCursorA(nullptr, IDC_CROSS));
}

TEST(TrackerState, RevealShowsHiddenTargetOnlyWhenAskedAndRehideHidesIt) {
    PatternWindow a(50, 50, 40, 40);
    ShowWindow(a.hwnd(), SW_HIDE);
    TMiscData data;
    data.SelectTarget(a.hwnd(), nullptr);
    PumpMessages(30);
    EXPECT_FALSE(data.Revealed);
    EXPECT_FALSE(IsWindowVisible(a.hwnd()));

    data.RevealHidden = true;
    data.SelectTarget(a.hwnd(), nullptr);
    PumpMessages(30);
    EXPECT_TRUE(data.Revealed);
    EXPECT_TRUE(IsWindowVisible(a.hwnd()));
    data.RehideTarget(a.hwnd());
    PumpMessages(30);
    EXPECT_FALSE(IsWindowVisible(a.hwnd()));

    ShowWindow(a.hwnd(), SW_SHOWNOACTIVATE);
    data.SelectTarget(a.hwnd(), nullptr);  // visible already: nothing to reveal
    EXPECT_FALSE(data.Revealed);
}

TEST(TargetProcess, OwnAndForeignWindows) {
    PatternWindow own(50, 50, 40, 40);
    TMiscData data;
    data.SelectTarget(own.hwnd(), nullptr);
    EXPECT_TRUE(data.CheckTargetProcess(nullptr));
    EXPECT_FALSE(data.ForeignProcess);

    data.SelectTarget(nullptr, nullptr);
    EXPECT_FALSE(data.CheckTargetProcess(nullptr));
    EXPECT_TRUE(data.ForeignProcess);

    ForeignWindow foreign("pixmerle-foreign-target");
    ASSERT_NE(foreign.hwnd(), nullptr) << "window_owner.exe did not show its window";
    data.SelectTarget(foreign.hwnd(), nullptr);
    EXPECT_FALSE(data.CheckTargetProcess(nullptr));
    EXPECT_TRUE(data.ForeignProcess);
    EXPECT_EQ(WindowAtPoint(POINT{650, 540}), foreign.hwnd());
    data.FlashTarget();  // posts its repaint to the other thread; must not block
}

class Panel : public ::testing::Test {
protected:
    PatternWindow host{300, 300, 300, 200};
    HWND panel = Child(host.hwnd(), 0, 0, 300, 200);
    HWND parentControl = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, host.hwnd(),
                                         reinterpret_cast<HMENU>(2001), nullptr, nullptr);
    HWND edit = Child(panel, 0, 0, 10, 10, WS_VISIBLE, 2004);
    HWND last = Child(panel, 20, 0, 10, 10, WS_VISIBLE, 1302);
    HWND box = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 40, 0, 10, 10,
                               panel, reinterpret_cast<HMENU>(1310), nullptr, nullptr);
    HWND unlisted = Child(panel, 60, 0, 10, 10, WS_VISIBLE, 1400);
};

TEST_F(Panel, ControlsFollowTheForeignFlag) {
    TMiscData data;
    const LONG otherBits = GetWindowLongA(box, GWL_STYLE) & ~LONG(3);
    data.EnablePanelControls(panel, false);
    EXPECT_FALSE(IsWindowEnabled(parentControl));
    EXPECT_FALSE(IsWindowEnabled(edit));
    EXPECT_FALSE(IsWindowEnabled(last));
    EXPECT_TRUE(IsWindowEnabled(unlisted));
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 3, BS_CHECKBOX);
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & ~LONG(3), otherBits);

    data.EnablePanelControls(panel, true);
    EXPECT_TRUE(IsWindowEnabled(parentControl));
    EXPECT_TRUE(IsWindowEnabled(edit));
    EXPECT_TRUE(IsWindowEnabled(last));
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 3, BS_AUTOCHECKBOX);
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & ~LONG(3), otherBits);

    // The controls follow the foreign flag: a target in this process disables them.
    PatternWindow own(50, 50, 40, 40);
    data.SelectTarget(own.hwnd(), nullptr);
    EXPECT_TRUE(data.CheckTargetProcess(panel));
    EXPECT_FALSE(IsWindowEnabled(edit));
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 3, BS_CHECKBOX);
    data.SelectTarget(nullptr, nullptr);
    EXPECT_FALSE(data.CheckTargetProcess(panel));
    EXPECT_TRUE(IsWindowEnabled(edit));
    EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 3, BS_AUTOCHECKBOX);
}

}  // namespace
