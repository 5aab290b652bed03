// A host that starts the plug-in again while its capture dialog is open.
// The dialog has no owner, so the host's menus stay usable meanwhile, and
// the second start runs inside the open dialog's message loop. The user
// gets the open dialog brought forward: one dialog, one target, one capture
// in progress, and the host's call comes back at once.
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/faults/fault_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/save_dialog.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_class.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace {

using StartPTPluginFn = int(__stdcall*)(HWND);
using DoMyJobFn = int(__cdecl*)(HWND);
using PluginActionFn = void(__cdecl*)(int, int, void*);

// The host's main window, on the test's thread: told to, it calls an entry
// point from whatever message loop that thread runs, as a host's menu does.
class HostWindow {
public:
    HostWindow() {
        static const ATOM registered = RegisterWindowClass("PixmerleFaultHost", Proc);
        (void)registered;
        hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, "PixmerleFaultHost", "host", WS_POPUP | WS_VISIBLE, 700, 560, 200,
                                120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~HostWindow() { DestroyWindow(hwnd_); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

    // From another thread: has the window make the call; true once it has
    // returned within the time, with what it returned.
    bool Call(std::function<INT_PTR()> call, DWORD timeoutMs, INT_PTR& result) {
        call_ = std::move(call);
        ResetEvent(done_.get());
        PostMessageA(hwnd_, kCall, 0, 0);
        if (WaitForSingleObject(done_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
        result = result_;
        return true;
    }
    // Waits for a call that did not return in time.
    bool Finished(DWORD timeoutMs) { return WaitForSingleObject(done_.get(), timeoutMs) == WAIT_OBJECT_0; }

private:
    static constexpr UINT kCall = WM_APP + 0x33;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (message == kCall && self) {
            self->result_ = self->call_();
            SetEvent(self->done_.get());
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    UniqueHandle done_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::function<INT_PTR()> call_;
    std::atomic<INT_PTR> result_{0};
};

struct StartEntry {
    const char* name;
    std::function<INT_PTR(HWND host)> call;
    std::optional<INT_PTR> result;  // what it returns without a dialog of its own
    bool hostVisible;               // the host's window afterwards
};

std::vector<StartEntry> StartEntries() {
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    const auto startPT = PluginEntry<StartPTPluginFn>("StartPTPlugin");
    const auto doMyJob = PluginEntry<DoMyJobFn>("DoMyJob");
    const auto action = PluginEntry<PluginActionFn>("_ODBG_Pluginaction");
    if (!startPlugin || !startPT || !doMyJob || !action) return {};
    return {
        {"StartPlugin", [startPlugin](HWND) { return startPlugin(0); }, 0, true},
        {"StartPTPlugin", [startPT](HWND host) { return INT_PTR(startPT(host)); }, 0, false},
        {"DoMyJob", [doMyJob](HWND host) { return INT_PTR(doMyJob(host)); }, 1, true},
        {"_ODBG_Pluginaction(0, 0)", [action](HWND) { action(0, 0, nullptr); return INT_PTR(0); }, std::nullopt, true},
        {"_ODBG_Pluginaction(31, 0)", [action](HWND) { action(31, 0, nullptr); return INT_PTR(0); }, std::nullopt,
         true},
    };
}

// Time a nested start may take to come back; the open dialog stays open meanwhile.
const DWORD kReturnMs = Bound(15000);

// Closes every capture dialog but the first, so that a nested start that
// opened one returns.
void CloseSecondDialogs(const CaptureDialog& first, HostWindow& host) {
    for (HWND open : CaptureDialogs())
        if (open != first.hwnd()) PostMessageA(open, WM_CLOSE, 0, 0);
    host.Finished(kStepMs);
}

TEST(NestedStart, EveryStartEntryPointWhileTheDialogIsOpenComesBackAndLeavesOneDialog) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const std::vector<StartEntry> entries = StartEntries();
    ASSERT_EQ(entries.size(), 5u) << "an entry point is missing";
    HostWindow host;
    PatternWindow target(40, 40, 150, 100);
    TempDir dir;
    const INT_PTR result = RunPluginDialog([&] { return entries[0].call(host.hwnd()); }, [&](CaptureDialog& d) {
        for (const StartEntry& entry : entries) {
            SCOPED_TRACE(entry.name);
            ShowWindow(host.hwnd(), SW_SHOWNOACTIVATE);
            SetForegroundWindow(host.hwnd());
            INT_PTR nested = -99;
            const bool returned = host.Call([&] { return entry.call(host.hwnd()); }, kReturnMs, nested);
            const std::vector<HWND> open = CaptureDialogs();
            EXPECT_TRUE(returned) << "the nested start did not come back while the dialog is open";
            EXPECT_EQ(open, std::vector<HWND>{d.hwnd()}) << "not exactly the open dialog";
            if (!returned) {
                CloseSecondDialogs(d, host);
                continue;
            }
            if (entry.result) {
                EXPECT_EQ(nested, *entry.result);
            }
            EXPECT_EQ(IsWindowVisible(host.hwnd()) != FALSE, entry.hostVisible);
            EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == d.hwnd(); }, kStepMs))
                << "the open dialog did not come forward";
            EXPECT_TRUE(d.Visible());
        }
        // The dialog that was open all along works on.
        ASSERT_TRUE(d.CaptureIntoFolder(dir.path()));
        ExpectCaptureOf(d, target, dir);
    });
    EXPECT_EQ(result, 0);

    // Once it has ended, a start opens the dialog again.
    bool shown = false;
    EXPECT_EQ(RunPluginDialog([&] { return entries[0].call(host.hwnd()); },
                              [&](const CaptureDialog& d) { shown = d.Visible(); }),
              0);
    EXPECT_TRUE(shown);
}

TEST(NestedStart, StartWhileTheSaveDialogAsksKeepsTheCaptureThatIsBeingSaved) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    HostWindow host;
    PatternWindow target(40, 40, 150, 100);
    TempDir dir;
    RunPluginDialog([&] { return startPlugin(0); }, [&](CaptureDialog& d) {
        ASSERT_FALSE(d.Ticked(IDC_SAVE_TO_FOLDER));
        ASSERT_TRUE(d.DragTo(Centre(WindowRect(target.hwnd()))));
        ClickButton(d.hwnd(), IDC_TAKE_CAPTURE);
        const HWND save = WaitForOtherDialog();
        ASSERT_NE(save, nullptr) << "no save-file dialog";

        INT_PTR nested = -99;
        const bool returned = host.Call([&] { return startPlugin(0); }, kReturnMs, nested);
        EXPECT_TRUE(returned) << "the nested start did not come back while the save-file dialog asks";
        EXPECT_EQ(CaptureDialogs(), std::vector<HWND>{d.hwnd()}) << "not exactly the open dialog";
        if (!returned) CloseSecondDialogs(d, host);
        EXPECT_EQ(nested, 0);
        ASSERT_TRUE(IsWindow(save)) << "the save-file dialog went away";

        ASSERT_TRUE(SaveAs(save, dir.file("kept"))) << "the save-file dialog did not take the name";
        ASSERT_TRUE(WaitUntil([&] { return d.Visible(); }, kStepMs));
        ASSERT_TRUE(d.Settle());
        ASSERT_EQ(dir.Files(), std::vector<std::string>{std::string("kept") + CaptureExtension()});
        ExpectOnlyCaptureOf(target, dir.path());
    });
}

}  // namespace
