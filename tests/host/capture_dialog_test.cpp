// The capture dialog end to end: the plug-in DLL is loaded and started the
// way a host program does it, the test's thread sits in the dialog's modal
// loop, and a driver thread plays the user with real input and clicks.
#include "resources/resource_ids.h"
#include "tests/support/capture_file.h"
#include "tests/support/capture_name.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/save_dialog.h"
#include "tests/support/screen.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Notes every showing and hiding of the test thread's windows, with the
// number of files a folder then holds: the order of hiding, writing the
// capture and showing again; and every window the thread activates.
struct ShowEvent {
    HWND window;
    bool shown;
    size_t files;
};

class ShowWatch {
public:
    explicit ShowWatch(const TempDir* folder) : folder_(folder) {
        active_ = this;
        hook_ = SetWindowsHookExA(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
    }
    ~ShowWatch() {
        if (hook_) UnhookWindowsHookEx(hook_);
        active_ = nullptr;
    }
    ShowWatch(const ShowWatch&) = delete;
    ShowWatch& operator=(const ShowWatch&) = delete;

    bool hooked() const { return hook_ != nullptr; }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
        activated_.clear();
    }
    std::vector<HWND> Activated() {
        std::lock_guard<std::mutex> lock(mutex_);
        return activated_;
    }
    // cppcheck-suppress constParameter ; a window handle, not a pointer to data
    std::vector<ShowEvent> EventsOf(HWND window) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<ShowEvent> found;
        for (const ShowEvent& event : events_)
            if (event.window == window) found.push_back(event);
        return found;
    }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code != HC_ACTION || !active_) return CallNextHookEx(nullptr, code, wParam, lParam);
        // Shown or hidden by ShowWindow or SetWindowPos alike.
        const auto* position = sent->message == WM_WINDOWPOSCHANGED ? reinterpret_cast<const WINDOWPOS*>(sent->lParam) : nullptr;
        if (position && (position->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) {
            const size_t files = active_->folder_ ? active_->folder_->Files().size() : 0;
            std::lock_guard<std::mutex> lock(active_->mutex_);
            active_->events_.push_back(ShowEvent{sent->hwnd, (position->flags & SWP_SHOWWINDOW) != 0, files});
        } else if (sent->message == WM_ACTIVATE && LOWORD(sent->wParam) != WA_INACTIVE) {
            std::lock_guard<std::mutex> lock(active_->mutex_);
            active_->activated_.push_back(sent->hwnd);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline ShowWatch* active_ = nullptr;
    const TempDir* folder_;
    HHOOK hook_ = nullptr;
    std::mutex mutex_;
    std::vector<ShowEvent> events_;
    std::vector<HWND> activated_;
};

void SendKey(WORD key) {
    INPUT input[2] = {};
    for (INPUT& one : input) {
        one.type = INPUT_KEYBOARD;
        one.ki.wVk = key;
    }
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

std::string Text(const RECT& rect) {
    std::ostringstream text;
    text << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
    return text.str();
}

// A rectangle of the screen whose every pixel colour is known.
struct Area {
    std::string name;
    RECT rect;
    ColourAt colour;                            // at window coordinates
    int tolerance = 0;                          // per channel, in a capture file
    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }
};

Area PatternArea(const std::string& name, const PatternWindow& window) {
    const RECT rect = WindowRect(window.hwnd());
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    return Area{name, rect, [width, height](int x, int y) { return PatternWindow::ColourAt(x, y, width, height); }};
}

Area SolidArea(const std::string& name, const SolidWindow& window, uint32_t rgb) {
    return Area{name, WindowRect(window.hwnd()), [rgb](int, int) { return rgb; }};
}

// What the screen shows there now. On 16-bit displays the screen reader and
// the capture widen 5- and 6-bit channels to 8 bits a little differently.
Area ScreenArea(const std::string& name, const RECT& rect) {
    const ScreenPixels now = ReadScreen(rect);
    return Area{name, rect, [now](int x, int y) { return now.at(x, y); }, ScreenBitsPerPixel() == 16 ? 7 : 0};
}

// Empty when the screen shows the area plain, or with the dragging outline
// (a 3-pixel frame inverted, all but its 4 outer corner pixels); else what
// is wrong.
std::string ScreenMismatch(const Area& area, bool outlined) {
    const ScreenPixels now = ReadScreen(area.rect);
    const bool exactInverse = ScreenBitsPerPixel() > 8;  // palette displays invert indices
    const int w = area.width(), h = area.height();
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool edge = x < 3 || y < 3 || x >= w - 3 || y >= h - 3;
            const bool corner = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
            const uint32_t known = area.colour(x, y), seen = now.at(x, y);
            bool ok;
            if (outlined && edge && !corner)
                ok = exactInverse ? seen == (known ^ 0xFFFFFFu) : seen != known;
            else
                ok = seen == known;
            if (!ok && ++wrong <= 3) first << " (" << x << "," << y << ") is " << std::hex << seen << " not from " << known << std::dec << ";";
        }
    if (!wrong) return std::string();
    std::ostringstream text;
    text << area.name << " is not " << (outlined ? "outlined" : "plain") << ": " << wrong << " pixels differ:" << first.str()
         << "\n";
    return text.str();
}

// Waits until only areas[outlined] shows the outline (none for -1).
void ExpectOutlines(const std::vector<Area>& areas, int outlined, const std::string& when) {
    std::string problem;
    WaitUntil([&] {
        problem.clear();
        for (size_t i = 0; i < areas.size(); ++i) problem += ScreenMismatch(areas[i], int(i) == outlined);
        return problem.empty();
    }, 2 * kAnswerMs);
    EXPECT_EQ(problem, "") << when;
}

// Checks a capture file pixel by pixel against an area.
void ExpectImageOf(const std::string& path, const Area& area) {
    EXPECT_EQ(CaptureFileMismatch(path, area.width(), area.height(), area.colour, area.tolerance), "")
        << "capture of " << area.name;
}

// The capture dialog with what these tests add: the watch on its showing
// and hiding, drags through several points, and captures into a folder.
class Dialog : public CaptureDialog {
public:
    Dialog(const CaptureDialog& dialog, ShowWatch& watch) : CaptureDialog(dialog), watch_(watch) {}

    ShowWatch& watch() { return watch_; }

    // A drag from the finder through the points, with `atEach` called after
    // every move, ending with the release.
    void DragFinder(const std::vector<POINT>& points, const std::function<void(size_t)>& atEach) {
        ASSERT_TRUE(PressFinder()) << "pressing the finder did not take the mouse capture";
        for (size_t i = 0; i < points.size(); ++i) {
            ASSERT_TRUE(MoveTo(points[i])) << "the cursor did not get to point " << i;
            atEach(i);
        }
        EXPECT_TRUE(ReleaseButton()) << "letting go did not end the mouse capture";
    }

    // Presses "Take Screen Capture" and waits until the dialog is back;
    // gives the files new in the folder.
    std::vector<std::string> CaptureInto(const TempDir& dir) {
        const std::vector<std::string> before = dir.Files();
        EXPECT_TRUE(TakeCapture()) << "the dialog did not come back";
        return FilesAddedTo(dir.path(), before);
    }

private:
    ShowWatch& watch_;
};

class DialogSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
        startPlugin_ = PluginEntry<StartPluginFn>("StartPlugin");
        ASSERT_NE(startPlugin_, nullptr);
        RemoveSettings();
    }
    void TearDown() override { RemoveSettings(); }

    // Starts the dialog through the plug-in's entry point on this thread, as
    // a host does; once it shows, `script` runs on a driver thread, which
    // then ends the dialog the chosen way. Gives what StartPlugin returned.
    // Window showing and hiding is noted with the file count of `watched`.
    INT_PTR RunDialog(const std::function<void(Dialog&)>& script, Ending ending = Ending::ExitButton,
                      const TempDir* watched = nullptr) {
        ShowWatch watch(watched);
        EXPECT_TRUE(watch.hooked());
        return RunPluginDialog([this] { return startPlugin_(0); }, [&](const CaptureDialog& shown) {
            Dialog dialog(shown, watch);
            EXPECT_EQ(GetWindow(dialog.hwnd(), GW_OWNER), nullptr) << "the dialog has an owner";
            EXPECT_EQ(dialog.Focus(), dialog.Item(IDC_ABOUT)) << "the focus is not on About after start";
            script(dialog);
            dialog.ReleaseButton();
        }, ending);
    }

    // The dialog lies clear of the areas the test reads.
    static void ExpectClearOfDialog(const Dialog& dialog, const std::vector<Area>& areas) {
        const RECT box = WindowRect(dialog.hwnd());
        for (const Area& area : areas) {
            RECT overlap;
            EXPECT_FALSE(IntersectRect(&overlap, &box, &area.rect))
                << area.name << " " << Text(area.rect) << " lies under the dialog " << Text(box);
        }
    }

    StartPluginFn startPlugin_ = nullptr;
};

// ---------------------------------------------------------------- finder

TEST_F(DialogSession, DragOutlinesOneWindowAtATimeAndTheLastOneStaysTheTarget) {
    TempDir dir;
    ASSERT_TRUE(WriteSettings(SettingsText(dir.path(), 1, 0)));
    PatternWindow first(20, 20, 150, 100);
    SolidWindow second(200, 30, 120, 90, 0x00FFFF);
    PatternWindow third(350, 20, 101, 77);
    // A hidden page under the first point, smaller than the window it lies
    // in: the visible window is outlined and captured all the same.
    ASSERT_NE(CreateWindowExA(0, "STATIC", "", WS_CHILD, 20, 20, 60, 50, first.hwnd(), nullptr, nullptr, nullptr),
              nullptr);
    const std::vector<Area> areas{PatternArea("first", first), SolidArea("second", second, 0x00FFFF),
                                  PatternArea("third", third)};
    const INT_PTR result = RunDialog([&](Dialog& d) {
        ASSERT_TRUE(d.Ticked(IDC_SAVE_TO_FOLDER));
        ASSERT_EQ(d.Folder(), dir.path());
        ExpectClearOfDialog(d, areas);

        // Across three windows and back; a move within a window changes nothing.
        const std::vector<POINT> path{{60, 50}, {140, 100}, {260, 70}, {400, 60}, {30, 110}};
        const int outlined[] = {0, 0, 1, 2, 0};
        ASSERT_NO_FATAL_FAILURE(d.DragFinder(path, [&](size_t step) {
            d.Settle();
            ExpectOutlines(areas, outlined[step], "after move " + std::to_string(step));
        }));
        ExpectOutlines(areas, -1, "after letting go");
        std::vector<std::string> files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), areas[0]);

        // Pressing and letting go without a move outlines nothing and keeps the target.
        ASSERT_TRUE(d.PressFinder());
        d.Settle();
        ExpectOutlines(areas, -1, "while the finder is held without a move");
        ASSERT_TRUE(d.ReleaseButton());
        d.Settle();
        ExpectOutlines(areas, -1, "after a press and release without a move");
        files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), areas[0]);
    });
    EXPECT_EQ(result, 0);
}

TEST_F(DialogSession, LosingTheCaptureEndsTheDragAndTheDialogsOwnControlsCanBePicked) {
    TempDir dir;
    ASSERT_TRUE(WriteSettings(SettingsText(dir.path(), 1, 0)));
    SolidWindow first(30, 30, 140, 90, 0xFF00FF);
    PatternWindow second(220, 40, 133, 81);
    std::vector<Area> areas{SolidArea("first", first, 0xFF00FF), PatternArea("second", second)};
    RunDialog([&](Dialog& d) {
        ExpectClearOfDialog(d, areas);

        // Another window takes the capture mid-drag: the outline goes, and
        // later moves pick nothing.
        ASSERT_TRUE(d.PressFinder());
        ASSERT_TRUE(d.MoveTo(POINT{100, 75}));
        ExpectOutlines(areas, 0, "on the first window");
        d.probe().GrabCapture();
        ASSERT_TRUE(WaitUntil([&] { return d.Capture() == d.probe().hwnd(); }));
        ExpectOutlines(areas, -1, "after the dialog lost the capture");
        ASSERT_TRUE(d.MoveMouse(POINT{280, 80}));
        ASSERT_TRUE(d.probe().WaitForMoveAt(POINT{280, 80})) << "the capturing window got no move";
        d.Settle();
        ExpectOutlines(areas, -1, "after a move with the capture elsewhere");
        ASSERT_TRUE(d.ReleaseButton());
        std::vector<std::string> files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), areas[0]);

        // The dialog's own Exit button.
        d.Settle();
        areas.push_back(ScreenArea("the Exit button", d.ItemRect(IDC_EXIT)));
        ASSERT_NO_FATAL_FAILURE(
            d.DragFinder({Centre(areas[2].rect)}, [&](size_t) { ExpectOutlines(areas, 2, "over the Exit button"); }));
        ExpectOutlines(areas, -1, "after letting go over the Exit button");
        files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), areas[2]);
    });
}

// The pick line names the window under the finder while it is dragged, the
// one let go on, and a target kept from the run before.
TEST_F(DialogSession, PickLineShowsClassSizeTextAndProcessOfTheWindowUnderTheFinder) {
    PatternWindow first(30, 40, 161, 97);
    SolidWindow second(260, 40, 90, 70, 0x00FF00);
    SetWindowTextA(second.hwnd(), "Untitled & more\r\nsecond line");
    const std::string process = " dialog_tests.exe (" + std::to_string(GetCurrentProcessId()) + ")";
    const std::string firstLine = "PixmerleTestPaint 161x97 \"pattern\"" + process;
    const std::string secondLine = "PixmerleTestPaint 90x70 \"Untitled & more  second line\"" + process;
    RunDialog([&](Dialog& d) {
        EXPECT_EQ(WindowText(d.Item(IDC_PICK_LINE)), "") << "before any target";
        const RECT line = d.ItemRect(IDC_PICK_LINE), box = d.ItemRect(IDC_COPY_TO_CLIPBOARD);
        for (const int id : {IDC_TAKE_CAPTURE, IDC_APPLY, IDC_HIDE_ON_CAPTURE})
            EXPECT_GE(line.top, d.ItemRect(id).bottom) << "the pick line lies below control " << id;
        EXPECT_GE(box.top, d.ItemRect(IDC_APPLY).bottom) << "the clipboard box lies below Apply";
        EXPECT_LE(line.bottom, WindowRect(d.hwnd()).bottom) << "the dialog grew to hold the pick line";
        ASSERT_TRUE(d.PressFinder());
        ASSERT_TRUE(d.MoveTo(POINT{100, 90}));
        EXPECT_EQ(WindowText(d.Item(IDC_PICK_LINE)), firstLine) << "while dragging";
        ASSERT_TRUE(d.MoveTo(POINT{300, 70}));
        EXPECT_EQ(WindowText(d.Item(IDC_PICK_LINE)), secondLine) << "while dragging";
        ASSERT_TRUE(d.MoveTo(POINT{100, 90}));
        ASSERT_TRUE(d.ReleaseButton());
        EXPECT_EQ(WindowText(d.Item(IDC_PICK_LINE)), firstLine) << "after letting go";
    });
    RunDialog([&](Dialog& d) { EXPECT_EQ(WindowText(d.Item(IDC_PICK_LINE)), firstLine) << "kept from the run before"; });
}

// ---------------------------------------------------------------- capture

void EmptyTheClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

TEST_F(DialogSession, CopyToClipboardGoesBesideTheFileOrAloneWithoutASaveDialog) {
    TempDir dir;
    ASSERT_TRUE(WriteSettings(SettingsText(dir.path(), 1, 0, 1)));
    PatternWindow target(30, 40, 133, 81);
    const Area area = PatternArea("target", target);
    ASSERT_NO_FATAL_FAILURE(EmptyTheClipboard());
    RunDialog([&](Dialog& d) {
        ASSERT_TRUE(d.Ticked(IDC_COPY_TO_CLIPBOARD)) << "IsClipboard=1 read at start";
        ExpectClearOfDialog(d, {area});
        ASSERT_TRUE(d.DragTo(POINT{90, 80}));
        std::vector<std::string> files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), area);
        EXPECT_EQ(ClipboardDibMismatch(area.width(), area.height(), area.colour), "") << "beside the file";

        // "Save capture to :" off: the clipboard alone, no save-file dialog.
        ASSERT_NO_FATAL_FAILURE(EmptyTheClipboard());
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        ASSERT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        files = d.CaptureInto(dir);
        EXPECT_EQ(OtherDialog(), nullptr) << "a save-file dialog opened";
        EXPECT_TRUE(files.empty()) << "a file was written";
        EXPECT_EQ(ClipboardDibMismatch(area.width(), area.height(), area.colour), "") << "the clipboard alone";

        // Unticked, Apply stores it off.
        ASSERT_TRUE(d.Click(IDC_COPY_TO_CLIPBOARD));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText("", 0, 0, 0));
        ASSERT_TRUE(d.Click(IDC_COPY_TO_CLIPBOARD));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText("", 0, 0, 1));
    });
}

uint64_t LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return Ticks(now);
}

TEST_F(DialogSession, CaptureIntoTheFolderIsNamedByTimeAndHidesTheDialogOnlyWhenAsked) {
    TempDir dir;
    ASSERT_TRUE(WriteSettings(SettingsText(dir.path(), 1, 0)));
    PatternWindow target(30, 40, 161, 97);
    const Area area = PatternArea("target", target);
    RunDialog([&](Dialog& d) {
        ExpectClearOfDialog(d, {area});
        ASSERT_NO_FATAL_FAILURE(d.DragFinder({POINT{100, 90}}, [&](size_t) { ExpectOutlines({area}, 0, "on the target"); }));

        d.watch().Clear();
        const uint64_t before = LocalNow();
        std::vector<std::string> files = d.CaptureInto(dir);
        const uint64_t after = LocalNow();
        ASSERT_EQ(files.size(), 1u);
        ASSERT_TRUE(IsCaptureName(files[0], "bmp")) << files[0];
        EXPECT_LE(before, Ticks(TimeOfCaptureName(files[0]))) << files[0];
        EXPECT_GE(after, Ticks(TimeOfCaptureName(files[0]))) << files[0];
        ExpectImageOf(dir.file(files[0]), area);
        EXPECT_TRUE(d.watch().EventsOf(d.hwnd()).empty()) << "the dialog hid with 'Hide app on capture' off";

        ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
        ASSERT_TRUE(d.Ticked(IDC_HIDE_ON_CAPTURE));
        d.watch().Clear();
        files = d.CaptureInto(dir);
        ASSERT_EQ(files.size(), 1u);
        ExpectImageOf(dir.file(files[0]), area);
        // Hidden before the file was written, shown again after.
        const std::vector<ShowEvent> events = d.watch().EventsOf(d.hwnd());
        ASSERT_EQ(events.size(), 2u);
        EXPECT_FALSE(events[0].shown);
        EXPECT_EQ(events[0].files, 1u);
        EXPECT_TRUE(events[1].shown);
        EXPECT_EQ(events[1].files, 2u);
        EXPECT_TRUE(d.Visible());
        // Hiding handed the activation to no other window, which would have
        // come to the front over the target.
        for (const HWND activated : d.watch().Activated())
            EXPECT_EQ(activated, d.hwnd()) << "another window was activated";
    }, Ending::ExitButton, &dir);
}

bool Cancel(HWND save) {
    PostMessageA(save, WM_COMMAND, IDCANCEL, 0);
    return WaitUntil([&] { return !IsWindow(save); });
}

TEST_F(DialogSession, SaveDialogIsOwnedByTheDialogWhichHidesForItOnlyWithoutTheFolderOption) {
    TempDir dir;
    PatternWindow target(40, 30, 120, 80);
    const Area area = PatternArea("target", target);
    RunDialog([&](Dialog& d) {
        ASSERT_NO_FATAL_FAILURE(d.DragFinder({POINT{90, 60}}, [&](size_t) { ExpectOutlines({area}, 0, "on the target"); }));

        // "Save capture to :" with no folder asks for a name; the dialog stays, even with hiding on.
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        ASSERT_TRUE(d.Ticked(IDC_SAVE_TO_FOLDER));
        ASSERT_EQ(d.Folder(), "");
        for (const bool hide : {false, true}) {
            if (hide) {
                ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
                ASSERT_TRUE(d.Ticked(IDC_HIDE_ON_CAPTURE));
            }
            d.watch().Clear();
            ClickButton(d.hwnd(), IDC_TAKE_CAPTURE);
            const HWND save = WaitForOtherDialog();
            ASSERT_NE(save, nullptr) << "no save-file dialog (hiding " << hide << ")";
            EXPECT_EQ(GetWindow(save, GW_OWNER), d.hwnd());
            EXPECT_TRUE(d.Visible()) << "hiding " << hide;
            ASSERT_TRUE(Cancel(save));
            ASSERT_TRUE(d.Settle());
            EXPECT_TRUE(d.watch().EventsOf(d.hwnd()).empty()) << "hiding " << hide;
            EXPECT_TRUE(d.Visible());
        }

        // Without it the dialog hides while the save-file dialog asks.
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        ASSERT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        ClickButton(d.hwnd(), IDC_TAKE_CAPTURE);
        HWND save = WaitForOtherDialog();
        ASSERT_NE(save, nullptr);
        EXPECT_EQ(GetWindow(save, GW_OWNER), d.hwnd());
        EXPECT_FALSE(d.Visible());
        ASSERT_TRUE(Cancel(save));
        EXPECT_TRUE(WaitUntil([&] { return d.Visible(); })) << "the dialog did not come back after Cancel";

        // A name given there gets the target's pixels.
        ClickButton(d.hwnd(), IDC_TAKE_CAPTURE);
        save = WaitForOtherDialog();
        ASSERT_NE(save, nullptr);
        ASSERT_TRUE(SaveAs(save, dir.file("chosen")));
        EXPECT_TRUE(WaitUntil([&] { return d.Visible(); })) << "the dialog did not come back after saving";
        ASSERT_TRUE(d.Settle());
        ASSERT_EQ(dir.Files(), std::vector<std::string>{"chosen.bmp"});
        ExpectImageOf(dir.file("chosen.bmp"), area);
    });
}

// ---------------------------------------------------------------- closing

TEST_F(DialogSession, EscapeOkAndCancelKeepItOpenAndTheCloseBoxEndsIt) {
    const INT_PTR result = RunDialog([&](Dialog& d) {
        // Esc as IsDialogMessage gets it from the focused control, and the
        // commands it and Enter would make.
        const HWND focus = d.Focus();
        PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        PostMessageA(d.hwnd(), WM_COMMAND, IDOK, 0);
        PostMessageA(d.hwnd(), WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(d.Settle());
        ASSERT_TRUE(IsWindow(d.hwnd()));
        EXPECT_TRUE(d.Visible());

        // Real keys into the folder edit: the letter after Esc arrives, so Esc came first.
        const POINT edit = Centre(d.ItemRect(IDC_FOLDER_EDIT));
        ASSERT_TRUE(d.MoveMouse(edit));
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
        ASSERT_TRUE(WaitUntil([&] { return d.Focus() == d.Item(IDC_FOLDER_EDIT); })) << "a click did not focus the edit";
        SendKey(VK_ESCAPE);
        SendKey('X');
        EXPECT_TRUE(WaitUntil([&] { return d.Folder() == "x"; })) << "the edit holds '" << d.Folder() << "'";
        ASSERT_TRUE(IsWindow(d.hwnd()));
        EXPECT_TRUE(d.Visible());
    }, Ending::CloseBox);
    EXPECT_EQ(result, 0);
}

// ---------------------------------------------------------------- settings

TEST_F(DialogSession, ApplyStoresTheOptionsAndTheNextStartRestoresThem) {
    const std::string folder = "C:\\Pixmerle shots\\today";
    EXPECT_EQ(RunDialog([&](Dialog& d) {
        ExpectOptions(d, false, false, "");
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        d.SetFolder(folder);
        ASSERT_TRUE(d.Click(IDC_HIDE_ON_CAPTURE));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText(folder, 1, 1));
        EXPECT_EQ(d.Folder(), folder);
    }), 0);

    EXPECT_EQ(RunDialog([&](Dialog& d) {
        ExpectOptions(d, true, true, folder);
        // Unticking the option empties the folder, and Apply stores it so.
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        EXPECT_EQ(d.Folder(), "");
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText("", 0, 1));
        // Ticked again without a folder, it is stored on...
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText("", 1, 1));
    }), 0);

    // ...and the next start turns it off for want of a folder.
    EXPECT_EQ(RunDialog([&](const Dialog& d) { ExpectOptions(d, false, true, ""); }), 0);

    // Without a settings file everything is off again.
    RemoveSettings();
    EXPECT_EQ(RunDialog([&](const Dialog& d) { ExpectOptions(d, false, false, ""); }), 0);
}

TEST_F(DialogSession, StoredFolderIsDroppedWhileItsOptionIsOff) {
    ASSERT_TRUE(WriteSettings(SettingsText("C:\\kept", 0, 1)));
    const INT_PTR result = RunDialog([&](Dialog& d) {
        ExpectOptions(d, false, true, "");
        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(ReadSettings(), SettingsText("", 0, 1));
    }, Ending::CloseMessage);
    EXPECT_EQ(result, 0);
}

TEST_F(DialogSession, OverlongFolderIsCutTo259Characters) {
    const std::string folder = "C:\\" + std::string(256, 'f');
    const std::string typed = folder + std::string(41, 'g');
    ASSERT_EQ(folder.size(), 259u);
    ASSERT_EQ(typed.size(), 300u);
    RunDialog([&](Dialog& d) {
        ASSERT_TRUE(d.Click(IDC_SAVE_TO_FOLDER));
        d.SetFolder(typed);
        ASSERT_EQ(d.Folder(), typed);
        // A capture reads the folder cut short and leaves the edit as typed.
        // (Nothing can be written there: 259 characters and a file name are
        // past what the file functions take.)
        ASSERT_TRUE(d.Click(IDC_TAKE_CAPTURE));
        EXPECT_TRUE(d.Visible());
        EXPECT_EQ(d.Folder(), typed);

        ASSERT_TRUE(d.Click(IDC_APPLY));
        EXPECT_EQ(d.Folder(), folder);
        EXPECT_EQ(ReadSettings(), SettingsText(folder, 1, 0));
    });
}

}  // namespace
