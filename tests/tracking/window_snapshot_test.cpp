#include "common/handles.h"
#include "tracking/target_tracker.h"
#include "tracking/window_info.h"
#include "tests/support/process_usage.h"
#include "tests/support/child_process.h"
#include "tests/support/hung_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr UINT kClassStyle = CS_DBLCLKS | CS_HREDRAW;
const wchar_t kWideClass[] = L"PixmerleWideTarget\u00e9";

// Answers WM_GETTEXTLENGTH with whatever the window's user data says, when set.
LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const LONG_PTR told = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (message == WM_GETTEXTLENGTH && told == -1) {
        DestroyWindow(hwnd);  // gone in the middle of the reads
        return 4;
    }
    if (message == WM_GETTEXTLENGTH && told) return told;
    return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, message, wParam, lParam)
                                 : DefWindowProcA(hwnd, message, wParam, lParam);
}

void RegisterClasses() {
    static const bool done = [] {
        WNDCLASSA a{};
        a.style = kClassStyle;
        a.lpfnWndProc = TargetProc;
        a.hInstance = GetModuleHandleA(nullptr);
        a.lpszClassName = "PixmerleNarrowTarget";
        WNDCLASSW w{};
        w.lpfnWndProc = TargetProc;
        w.hInstance = GetModuleHandleA(nullptr);
        w.lpszClassName = kWideClass;
        return RegisterClassA(&a) && RegisterClassW(&w);
    }();
    ASSERT_TRUE(done);
}

struct Window {
    HWND hwnd;
    explicit Window(HWND h) : hwnd(h) {}
    ~Window() { DestroyWindow(hwnd); }
};

// Shown without activation: Wine takes seconds to destroy an active window
// where no window manager runs.
HWND Narrow(const char* text, DWORD style, DWORD exStyle, HWND parent, int x, int y, int w, int h, HMENU menu) {
    HWND hwnd = CreateWindowExA(exStyle, "PixmerleNarrowTarget", text, style & ~WS_VISIBLE, x, y, w, h, parent, menu,
                                GetModuleHandleA(nullptr), nullptr);
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOWNA);
    return hwnd;
}

std::string ToAnsi(const std::wstring& text) {
    char out[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

void ExpectEmpty(const TMiscData& d) {
    const TargetSnapshot& s = d.Snapshot;
    EXPECT_TRUE(d.TextW.empty() && d.TextA.empty() && d.ClassNameW.empty() && d.ClassNameA.empty());
    EXPECT_TRUE(!s.TargetWnd && !s.FramedWnd && !s.ParentWnd && !s.InstanceHandle && !s.MenuHandle);
    EXPECT_TRUE(!s.CtrlID && !s.Style && !s.ExStyle && !s.WndProcAddr && !s.ProcessID && !s.ThreadID);
    EXPECT_TRUE(!s.ClassStyle && !s.BigIcon && !s.SmallIcon && !s.IsVisible && !s.IsUnicode && !s.IsEnabled);
    EXPECT_TRUE(IsRectEmpty(&s.WindowRect) && !s.WindowRect.left && !s.WindowRect.top);
    EXPECT_TRUE(IsRectEmpty(&s.ClientRect) && !s.ClientRect.right && !s.ClientRect.bottom);
    EXPECT_TRUE(d.Props->Items.empty());
}

TEST(Snapshot, TopLevelWindowThenChildReplacesEveryField) {
    RegisterClasses();
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 1, "File");
    Window owner(Narrow("owner", WS_POPUP, 0, nullptr, 0, 0, 50, 50, nullptr));
    Window top(Narrow("Pixmerle top", WS_POPUP | WS_VISIBLE | WS_DISABLED, WS_EX_TOOLWINDOW, owner.hwnd, 60, 70, 220,
                      150, menu));
    const HICON big = LoadIconA(nullptr, IDI_WARNING), small = LoadIconA(nullptr, IDI_INFORMATION);
    SendMessageA(top.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageA(top.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SetPropA(top.hwnd, "Pixmerle.Top", reinterpret_cast<HANDLE>(8));

    TMiscData data;
    data.SelectTarget(top.hwnd);
    const TargetSnapshot& s = data.Snapshot;
    EXPECT_TRUE(data.HasTarget);
    EXPECT_EQ(data.TextA, "Pixmerle top");
    EXPECT_EQ(data.TextW, L"Pixmerle top");
    EXPECT_EQ(data.ClassNameA, "PixmerleNarrowTarget");
    EXPECT_EQ(data.ClassNameW, L"PixmerleNarrowTarget");
    EXPECT_EQ(s.TargetWnd, top.hwnd);
    EXPECT_EQ(s.FramedWnd, top.hwnd);
    EXPECT_EQ(s.ParentWnd, owner.hwnd);
    EXPECT_EQ(s.InstanceHandle, GetModuleHandleA(nullptr));
    EXPECT_EQ(s.MenuHandle, menu);
    EXPECT_EQ(s.Style & (WS_POPUP | WS_VISIBLE | WS_DISABLED), WS_POPUP | WS_VISIBLE | WS_DISABLED);
    EXPECT_EQ(s.ExStyle & WS_EX_TOOLWINDOW, DWORD(WS_EX_TOOLWINDOW));
    EXPECT_EQ(s.WndProcAddr, reinterpret_cast<uintptr_t>(TargetProc));
    EXPECT_EQ(s.ClassStyle, kClassStyle);
    EXPECT_EQ(s.BigIcon, big);
    EXPECT_EQ(s.SmallIcon, small);
    EXPECT_TRUE(s.IsVisible && !s.IsUnicode && !s.IsEnabled);
    EXPECT_EQ(s.ThreadID, GetCurrentThreadId());
    EXPECT_EQ(s.ProcessID, GetCurrentProcessId());
    const RECT placed{60, 70, 280, 220};
    EXPECT_TRUE(EqualRect(&s.WindowRect, &placed));
    // The menu bar takes its share of the client area.
    EXPECT_TRUE(!s.ClientRect.left && !s.ClientRect.top && s.ClientRect.right == 220);
    EXPECT_TRUE(s.ClientRect.bottom > 0 && s.ClientRect.bottom < 150);
    EXPECT_FALSE(data.Props->Items.empty());

    // A child of a wide class without text: every field is the child's own or zero.
    HWND child = CreateWindowExW(0, kWideClass, L"", WS_CHILD, 10, 20, 30, 40, top.hwnd,
                                 reinterpret_cast<HMENU>(4321), nullptr, nullptr);
    data.SelectTarget(child);
    EXPECT_TRUE(data.TextW.empty() && data.TextA.empty());
    EXPECT_EQ(data.ClassNameW, kWideClass);
    EXPECT_EQ(data.ClassNameA, ToAnsi(kWideClass));
    EXPECT_EQ(s.TargetWnd, child);
    EXPECT_EQ(s.ParentWnd, top.hwnd);
    EXPECT_EQ(s.CtrlID, 4321);
    EXPECT_NE(s.MenuHandle, menu);
    EXPECT_TRUE(!s.BigIcon && !s.SmallIcon && !s.ClassStyle && !(s.ExStyle & WS_EX_TOOLWINDOW));
    EXPECT_TRUE(s.IsUnicode && !s.IsVisible && s.IsEnabled);
    EXPECT_EQ(s.WindowRect.left, 60 + 10);
    EXPECT_EQ(s.WindowRect.right - s.WindowRect.left, 30);
    EXPECT_TRUE(s.ClientRect.right == 30 && s.ClientRect.bottom == 40);
    EXPECT_TRUE(data.Props->Items.empty());
}

TEST(Snapshot, NullStaleAndVanishingWindowsGiveEmptyFields) {
    RegisterClasses();
    TMiscData data;
    data.SelectTarget(nullptr);
    EXPECT_TRUE(data.HasTarget);
    ExpectEmpty(data);

    HWND stale = Narrow("stale", WS_POPUP, 0, nullptr, 0, 0, 10, 10, nullptr);
    DestroyWindow(stale);
    data.SelectTarget(stale);
    EXPECT_EQ(data.Snapshot.TargetWnd, stale);
    data.Snapshot.TargetWnd = data.Snapshot.FramedWnd = nullptr;
    ExpectEmpty(data);

    // Not a window: nothing is asked of every window at once.
    data.SelectTarget(HWND_BROADCAST);
    data.Snapshot.TargetWnd = data.Snapshot.FramedWnd = nullptr;
    ExpectEmpty(data);

    // Destroyed by its own thread while its text is asked for.
    HWND vanishing = Narrow("vanishing", WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, nullptr, 0, 0, 10, 10, nullptr);
    SetWindowLongPtrA(vanishing, GWLP_USERDATA, -1);
    data.SelectTarget(vanishing);
    EXPECT_FALSE(IsWindow(vanishing));
    EXPECT_EQ(data.ClassNameA, "PixmerleNarrowTarget");  // read before the text
    data.ClassNameA.clear();
    data.ClassNameW.clear();
    data.Snapshot.TargetWnd = data.Snapshot.FramedWnd = nullptr;
    ExpectEmpty(data);
}

TEST(Snapshot, TextReadsKeepToTheReportedLength) {
    RegisterClasses();
    Window w(Narrow("abcdefghij", WS_POPUP, 0, nullptr, 0, 0, 10, 10, nullptr));
    TMiscData data;
    SetWindowLongPtrA(w.hwnd, GWLP_USERDATA, 4);
    data.SelectTarget(w.hwnd);
    EXPECT_EQ(data.TextA, "abcd");
    EXPECT_EQ(data.TextW, L"abcd");
    // A length beyond any text is cut to 64 K characters in both word sizes:
    // the window's text is read in a buffer of that size, the memory given back.
    SetWindowLongPtrA(w.hwnd, GWLP_USERDATA, 0x7FFFFFF0);
    data.SelectTarget(w.hwnd);
    const uint64_t before = PrivateBytes();
    for (int i = 0; i < 20; ++i) data.SelectTarget(w.hwnd);
    EXPECT_LT(PrivateBytes(), before + 512 * 1024);
    EXPECT_EQ(data.TextA, "abcdefghij");
    EXPECT_EQ(data.TextW, L"abcdefghij");
    SetWindowLongPtrA(w.hwnd, GWLP_USERDATA, 0);
    data.SelectTarget(w.hwnd);
    EXPECT_EQ(data.TextA, "abcdefghij");
}

TEST(Snapshot, ClassNamesReadWideAndConverted) {
    RegisterClasses();
    Window w(CreateWindowExW(0, kWideClass, L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    char narrowReported[256] = {};
    GetClassNameA(w.hwnd, narrowReported, sizeof narrowReported);
    std::wstring wide = L"old";
    std::string narrow = "old";
    ReadClassNames(w.hwnd, wide, narrow);
    EXPECT_EQ(wide, kWideClass);
    EXPECT_EQ(narrow, narrowReported);
    ReadClassNames(nullptr, wide, narrow);
    EXPECT_TRUE(wide.empty() && narrow.empty());
    EXPECT_EQ(ReadClassNameA(w.hwnd), narrowReported);
    EXPECT_EQ(ReadClassNameW(nullptr), L"");
}

// Each question to a target that does not answer costs a wait; once one
// went unanswered the tracker must ask nothing more. The target counts the
// questions it takes, so the load on the machine cannot make a good tracker
// fail (a question taken too late is not counted at all).
TEST(Snapshot, TargetThatDoesNotAnswerIsAskedNothingMoreAndItsLateAnswerHarmsNothing) {
    HungWindow window(0, 0, 40, 20, 0x808080, "hung target");
    TMiscData data;
    int before = window.QueriesTaken();
    data.SelectTarget(window.hwnd());
    // cppcheck-suppress duplicateExpression ; the selection asked the target in between
    EXPECT_GE(window.QueriesTaken() - before, 6) << "an answering target is asked for both texts, their lengths "
                                                    "and both icons";
    EXPECT_EQ(data.TextA, "hung target");

    ASSERT_TRUE(window.Start(HungWindow::Hang::Now));
    before = window.QueriesTaken();
    data.SelectTarget(window.hwnd());
    ASSERT_TRUE(window.Release());
    EXPECT_LE(window.QueriesTaken() - before, 1) << "questions after the first went unanswered";
    EXPECT_TRUE(data.TextA.empty() && data.TextW.empty() && !data.Snapshot.BigIcon);
    char className[64] = {};
    GetClassNameA(window.hwnd(), className, sizeof className);
    EXPECT_EQ(data.ClassNameA, className);  // what needs no answer is still read
    EXPECT_NE(data.Snapshot.Style & WS_VISIBLE, 0u);
    EXPECT_NE(data.Snapshot.ThreadID, GetCurrentThreadId());

    // Answering the length, then stuck in WM_GETTEXT: once released it writes
    // the text into the buffer it was given, which must still be there.
    before = window.QueriesTaken();
    ASSERT_TRUE(window.Start(HungWindow::Hang::OnGetText));
    data.SelectTarget(window.hwnd());
    EXPECT_TRUE(data.TextW.empty());
    ASSERT_TRUE(window.Release());
    EXPECT_LE(window.QueriesTaken() - before, 2) << "questions after the unanswered text";
    EXPECT_TRUE(HeapsIntact());
}

// Also a 32-bit window read from the 64-bit build: the instance as the owner
// itself knows it, in full width.
TEST(Snapshot, ForeignWindowIsReadAcrossProcesses) {
    for (const std::string& program : ForeignOwnerPrograms()) {
        SCOPED_TRACE(program);
        ForeignWindow foreign("pixmerle-snapshot-foreign", program);
        ASSERT_NE(foreign.hwnd(), nullptr);
        TMiscData data;
        data.SelectTarget(foreign.hwnd());
        EXPECT_EQ(data.TextA, "pixmerle-snapshot-foreign");
        EXPECT_EQ(data.TextW, L"pixmerle-snapshot-foreign");
        EXPECT_EQ(data.ClassNameA, "PixmerleOwner");
        EXPECT_EQ(data.Snapshot.ProcessID, foreign.processId());
        EXPECT_EQ(data.Snapshot.WindowRect.left, 600);
        EXPECT_EQ(data.Snapshot.ClientRect.right, 120);
        EXPECT_EQ(data.Snapshot.InstanceHandle, GetPropA(foreign.hwnd(), "Pixmerle.Instance"));
    }
}

}  // namespace
