// Targets that fail the user: a window destroyed after it was picked, and a
// window whose thread stops taking messages. Neither may take the dialog
// down, hold it up, or leave anything behind.
#include "capture/screen_shot.h"
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"
#include "tracking/target_tracker.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

StartPluginFn StartPlugin() { return PluginEntry<StartPluginFn>("StartPlugin"); }

// ---------------------------------------------------------------- destroyed

TEST(DestroyedTarget, CaptureAndFlashOfAGoneTargetDoNothingAndTheNextTargetWorks) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    ASSERT_NE(StartPlugin(), nullptr);
    PatternWindow doomed(40, 40, 150, 100);
    PatternWindow next(230, 40, 120, 90);
    TempDir dir;
    RunPluginDialog([] { return StartPlugin()(0); }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        ASSERT_TRUE(d.DragTo(Centre(WindowRect(doomed.hwnd()))));
        // The window belongs to the test's thread, which sits in the dialog's loop.
        const HWND gone = doomed.hwnd();
        PostMessageA(gone, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(gone); }, kStepMs));

        ASSERT_TRUE(d.TakeCapture());
        EXPECT_TRUE(dir.Files().empty()) << "a file for a window that is gone";
        ASSERT_TRUE(d.Click(IDC_FLASH));
        ASSERT_TRUE(d.Settle());
        EXPECT_TRUE(d.Visible());

        // Without the folder option a capture asks for a name, but not for
        // a window that cannot be captured.
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        ASSERT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        ASSERT_TRUE(d.TakeCapture());
        const HWND save = OtherDialog();
        EXPECT_EQ(save, nullptr) << "a save-file dialog for a capture that failed";
        if (save) PostMessageA(save, WM_COMMAND, IDCANCEL, 0);

        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        ExpectCaptureOf(d, next, dir);
    });
}

TEST(DestroyedTarget, WindowDestroyedWhileOutlinedEndsTheDragCleanly) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    PatternWindow doomed(40, 40, 150, 100);
    PatternWindow next(230, 40, 120, 90);
    TempDir dir;
    RunPluginDialog([] { return StartPlugin()(0); }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        const HWND gone = doomed.hwnd();
        ASSERT_TRUE(d.DragTo(Centre(WindowRect(gone)), [&] {
            PostMessageA(gone, WM_CLOSE, 0, 0);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(gone); }, kStepMs));
        }));
        ASSERT_TRUE(d.Settle());
        EXPECT_TRUE(d.Visible());
        ASSERT_TRUE(d.Click(IDC_FLASH));
        ASSERT_TRUE(d.TakeCapture());
        EXPECT_TRUE(dir.Files().empty()) << "a file for a window that is gone";

        ExpectCaptureOf(d, next, dir);
    });
}

TEST(DestroyedTarget, CaptureObjectRefusesAGoneWindowAndHoldsNothing) {
    TScreenShot shot;
    TempDir dir;
    HWND gone = nullptr;
    {
        PatternWindow window(40, 40, 150, 100);
        gone = window.hwnd();
        ASSERT_TRUE(shot.CaptureToFolder(gone, dir.path().c_str()));
    }
    ASSERT_FALSE(IsWindow(gone));
    ASSERT_EQ(dir.Files().size(), 1u);
    const Usage before = MeasureUsage();
    EXPECT_FALSE(shot.CaptureToFolder(gone, dir.path().c_str()));
    EXPECT_FALSE(shot.CaptureWindow(gone));
    const Usage after = MeasureUsage();
    EXPECT_EQ(shot.Image, nullptr);
    EXPECT_EQ(dir.Files().size(), 1u);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects) << Describe(before) << " -> " << Describe(after);
    EXPECT_EQ(after.kernelHandles, before.kernelHandles) << Describe(before) << " -> " << Describe(after);
}

// ---------------------------------------------------------------- hung

constexpr uint32_t kHungColour = 0x00FF00;
// A long title, so that a late answer would write far.
const std::string kHungTitle(200, 'h');

TEST(HungTarget, SelectionOutlineFlashAndCaptureReturnWhileTheTargetsThreadIsStuck) {
    for (const HungWindow::Hang how : {HungWindow::Hang::Now, HungWindow::Hang::OnGetText}) {
        SCOPED_TRACE(how == HungWindow::Hang::Now ? "stuck before the selection" : "stuck while asked for its text");
        HungWindow target(60, 60, 180, 120, kHungColour, kHungTitle);
        ASSERT_NE(target.hwnd(), nullptr);
        TMiscData tracker;
        TScreenShot shot;
        TempDir dir;
        const POINT centre = Centre(WindowRect(target.hwnd()));

        ASSERT_TRUE(target.Start(how));
        const HWND picked = WindowAtPoint(centre);
        tracker.SelectTarget(picked);
        InvertFrame(tracker.Snapshot.TargetWnd);
        InvertFrame(tracker.Snapshot.FramedWnd);
        tracker.FlashTarget();
        // Wine puts drawing on the screen when a thread of the process waits for messages.
        PumpMessages(50);
        const bool captured = shot.CaptureToFolder(tracker.Snapshot.TargetWnd, dir.path().c_str());
        // Still stuck at the end: nothing above waited for the stuck thread.
        const bool stillStuck = target.Hanging();
        ASSERT_TRUE(target.Release()) << "the target's thread did not get through its messages";

        EXPECT_TRUE(stillStuck) << "the target was not stuck throughout";
        EXPECT_EQ(picked, target.hwnd());
        EXPECT_TRUE(tracker.HasTarget);
        EXPECT_EQ(tracker.Snapshot.TargetWnd, target.hwnd());
        EXPECT_TRUE(captured);
        const std::vector<std::string> files = dir.Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(CaptureFileMismatch(dir.file(files[0]), 180, 120, [](int, int) { return kHungColour; }), "");
        // What the thread answered once free went nowhere it should not have.
        EXPECT_TRUE(HeapsIntact());
        tracker.SelectTarget(target.hwnd());
        EXPECT_EQ(tracker.TextA, kHungTitle) << "the target answers again";
    }
}

TEST(HungTarget, DialogDragAndCaptureOverAStuckWindowReturn) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    HungWindow target(60, 60, 180, 120, kHungColour, kHungTitle);
    ASSERT_NE(target.hwnd(), nullptr);
    TempDir dir;
    RunPluginDialog([] { return StartPlugin()(0); }, [&](CaptureDialog& d) {
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        ASSERT_TRUE(target.Start(HungWindow::Hang::Now));
        const bool dragged = d.DragTo(Centre(WindowRect(target.hwnd())));
        const bool flashed = d.Click(IDC_FLASH);
        const bool captured = d.TakeCapture();
        const bool stillStuck = target.Hanging();
        ASSERT_TRUE(target.Release());
        EXPECT_TRUE(stillStuck) << "the target was not stuck throughout";
        EXPECT_TRUE(dragged) << "the drag over the stuck window did not complete";
        EXPECT_TRUE(flashed);
        EXPECT_TRUE(captured);
        const std::vector<std::string> files = dir.Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(CaptureFileMismatch(dir.file(files[0]), 180, 120, [](int, int) { return kHungColour; }), "");
    });
    EXPECT_TRUE(HeapsIntact());
}

}  // namespace
