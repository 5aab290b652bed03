// The entry points of x32dbg, OllyDbg 2.01 and Immunity Debugger, called on
// the real DLL as those debuggers call them: in order, out of order, and
// with the structures they pass.
#include "common/handles.h"
#include "host/ollydbg2_menu.h"
#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/screen.h"
#include "tests/support/bmp_file.h"
#include "tests/support/capture_file.h"
#include "tests/support/temp_dir.h"
#include "tools/host_simulator/x32dbg_stand_in.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#ifndef _WIN64
// Defined beside the legacy hosts' tests: bytes of arguments left on the stack.
extern "C" uint32_t __cdecl CallAndMeasureStack(void* function, uint32_t argument, uint32_t* result);
#endif

// As OllyDbg 2.01 exports its main window; the plug-in looks it up here.
extern "C" {
__declspec(dllexport) HWND hwollymain = nullptr;
}

namespace {

using PluginInit = bool(__cdecl*)(X64dbgInit*);
using PluginSetup = void(__cdecl*)(X64dbgSetup*);
using PluginStop = bool(__cdecl*)();
using MenuCallback = void(__cdecl*)(int, X64dbgMenuEntry*);

using Olly2Query = int(__cdecl*)(int, ULONG*, wchar_t*, wchar_t*);
using Olly2Init = int(__cdecl*)();
using Olly2MenuQuery = Olly2MenuItem*(__cdecl*)(const wchar_t*);

// Runs `start` on this thread and gives the owner of the capture dialog it
// opened (the driver closes it), or -1 when none opened.
HWND OwnerOfDialogFrom(const std::function<void()>& start, DWORD waitMs = kStepMs) {
    HWND owner = reinterpret_cast<HWND>(-1);
    DialogDriver driver([&] {
        HWND dialog = nullptr;
        WaitUntil([&] {
            const std::vector<HWND> open = CaptureDialogs();
            dialog = open.empty() ? nullptr : open.front();
            return dialog != nullptr;
        }, waitMs);
        if (!dialog) return;
        owner = GetWindow(dialog, GW_OWNER);
        ClickButton(dialog, IDC_EXIT);
        WaitUntil([&] { return !IsWindow(dialog); });
    });
    start();
    EXPECT_TRUE(driver.Finish());
    return owner;
}

const HWND kNoDialog = reinterpret_cast<HWND>(-1);

template <typename F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::vector<RecordedEntry> EntriesOf(HMODULE debugger, int menu) {
    const auto count = Export<CountFn>(debugger, "simulator_entry_count");
    const auto at = Export<EntryAtFn>(debugger, "simulator_entry");
    std::vector<RecordedEntry> found;
    for (int i = 0; count && at && i < count(); ++i) {
        RecordedEntry entry{};
        if (at(i, &entry) && entry.menu == menu) found.push_back(entry);
    }
    return found;
}

TEST(X32dbgHost, InitSetupMenuAndStopInTheDebuggersOrderAndOutOfIt) {
    ASSERT_NE(PluginModule(), nullptr);
    const UniqueModule debugger(LoadLibraryA(kDebuggerDllName));
    ASSERT_TRUE(debugger) << "the stand-in " << kDebuggerDllName << " beside the test";
    const auto init = PluginEntry<PluginInit>("pluginit");
    const auto setup = PluginEntry<PluginSetup>("plugsetup");
    const auto stop = PluginEntry<PluginStop>("plugstop");
    const auto menuEntry = PluginEntry<MenuCallback>("CBMENUENTRY");
    ASSERT_TRUE(init && setup && stop && menuEntry);
    SolidWindow gui(20, 20, 200, 120, 0x404040);

    // Out of order first: nothing happens and nothing opens.
    X64dbgMenuEntry capture{0};
    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &capture); }, Bound(1500)), kNoDialog) << "a menu before init";
    setup(nullptr);
    EXPECT_FALSE(init(nullptr));
    EXPECT_TRUE(stop()) << "a stop before init";

    X64dbgInit data{};
    data.pluginHandle = 7;
    std::strcpy(data.pluginName, "Pixmerle.dp32");
#ifdef _WIN64
    EXPECT_TRUE(init(&data));  // 64-bit Windows has one calling convention
#else
    uint32_t result = 0;
    EXPECT_EQ(CallAndMeasureStack(reinterpret_cast<void*>(init), uint32_t(uintptr_t(&data)), &result), 4u)
        << "cdecl: the caller removes the argument";
    EXPECT_EQ(result & 0xFF, 1u);
#endif
    EXPECT_EQ(data.sdkVersion, 1);
    EXPECT_STREQ(data.pluginName, "Pixmerle 1.1.7");
    EXPECT_FALSE(init(&data)) << "a second init while loaded";

    const auto addMenu = Export<AddPluginMenuFn>(debugger.get(), "simulator_add_plugin_menu");
    ASSERT_NE(addMenu, nullptr);
    X64dbgSetup menus{gui.hwnd(), addMenu(7, "main"), addMenu(7, "disasm"), addMenu(7, "dump"), addMenu(7, "stack"),
                      addMenu(7, "graph"), addMenu(7, "memory map"), addMenu(7, "symbols")};
    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &capture); }, Bound(1500)), kNoDialog) << "a menu before setup";
    setup(&menus);
    const std::vector<RecordedEntry> main = EntriesOf(debugger.get(), menus.hMenu);
    ASSERT_EQ(main.size(), 6u);
    const std::vector<std::pair<int, std::string>> expected{
        {0, "&Pixmerle 1.1.7"}, {4, "Capture &again"}, {5, "&Delayed capture under cursor"},
        {-1, ""},               {1, "&Homepage"},      {2, "&About..."}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(main[i].entry, expected[i].first) << i;
        EXPECT_EQ(std::string(main[i].title), expected[i].second) << i;
        EXPECT_EQ(std::string(main[i].hotkey), i == 1 ? "Ctrl+Shift+F12" : "") << i;
    }
    EXPECT_TRUE(main[0].hasPngIcon) << "the capture entry carries the plug-in's icon as PNG bytes";
    const std::vector<RecordedEntry> disasm = EntriesOf(debugger.get(), menus.hMenuDisasm);
    ASSERT_EQ(disasm.size(), 1u);
    EXPECT_EQ(std::string(disasm[0].title), "&Pixmerle 1.1.7");
    EXPECT_TRUE(EntriesOf(debugger.get(), menus.hMenuDump).empty());

    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &capture); }), gui.hwnd());
    X64dbgMenuEntry fromDisassembler{disasm[0].entry};
    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &fromDisassembler); }), gui.hwnd());
    X64dbgMenuEntry unknown{99};
    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &unknown); menuEntry(18, nullptr); }, Bound(1500)), kNoDialog);

    // The debugger stops the plug-in on a thread of its own while the
    // dialog is open: the dialog ends on its thread and the stop says yes.
    bool stopped = false;
    DialogDriver stopper([&] {
        WaitUntil([] { return !CaptureDialogs().empty(); });
        stopped = stop();
    });
    menuEntry(18, &capture);
    EXPECT_TRUE(stopper.Finish());
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(CaptureDialogs().empty());
    EXPECT_TRUE(stop()) << "a second stop";
    EXPECT_EQ(OwnerOfDialogFrom([&] { menuEntry(18, &capture); }, Bound(1500)), kNoDialog) << "a menu after stop";

    // Loaded again, and stopped with other windows of the plug-in open on
    // the GUI thread: each is closed, the menu call returns, the stop says yes.
    const auto loadAgain = [&] {
        EXPECT_TRUE(init(&data));
        setup(&menus);
    };
    loadAgain();
    bool stoppedOverAbout = false;
    DialogDriver aboutStopper([&] {
        if (WaitForOtherDialog()) stoppedOverAbout = stop();
    });
    X64dbgMenuEntry about{2};
    menuEntry(18, &about);
    EXPECT_TRUE(aboutStopper.Finish());
    EXPECT_TRUE(stoppedOverAbout) << "stopped while the About box was open";
    EXPECT_EQ(OtherDialog(), nullptr);

    loadAgain();
    SolidWindow target(250, 30, 160, 100, 0x2080C0);
    bool stoppedOverSaveDialog = false;
    RunPluginDialog([&] { menuEntry(18, &capture); return INT_PTR(0); }, [&](CaptureDialog& dialog) {
        ASSERT_TRUE(dialog.DragTo(Centre(WindowRect(target.hwnd()))));
        ClickButton(dialog.hwnd(), IDC_TAKE_CAPTURE);
        // Stopped once the save-file dialog has come up and its loop waits for input.
        const HWND save = WaitForOtherDialog();
        DWORD_PTR ignored;
        if (save && SendMessageTimeoutA(save, WM_NULL, 0, 0, SMTO_NORMAL, kStepMs, &ignored))
            stoppedOverSaveDialog = stop();
    });
    EXPECT_TRUE(stoppedOverSaveDialog) << "stopped while the save-file dialog was open";
    EXPECT_EQ(OtherDialog(), nullptr);
    EXPECT_TRUE(CaptureDialogs().empty());
}


// ---------------------------------------------------------------- without the dialog

// A debugger as the quick captures meet it: set up, its menu entries by the
// plug-in's action code (0 the dialog, 4 "Capture again", 5 the delayed
// capture), and its stop or unload.
struct Debugger {
    std::string name;
    std::function<void()> setUp;
    std::function<void(int)> entry;
    std::function<void()> unload;
};

template <typename F>
F Entry(const char* name) {
    return PluginEntry<F>(name);
}

std::vector<Debugger> Debuggers(HMODULE debugger, HWND gui) {
    const auto stop = Entry<PluginStop>("plugstop");
    std::vector<Debugger> all{{"x32dbg",
        [=] {
            stop();  // from an earlier test
            X64dbgInit data{};
            data.pluginHandle = 7;
            ASSERT_TRUE(Entry<PluginInit>("pluginit")(&data));
            const auto addMenu = Export<AddPluginMenuFn>(debugger, "simulator_add_plugin_menu");
            X64dbgSetup menus{gui, addMenu(7, "main"), addMenu(7, "disasm"), -1, -1, -1, -1, -1};
            Entry<PluginSetup>("plugsetup")(&menus);
        },
        [](int action) {
            X64dbgMenuEntry chosen{action};
            Entry<MenuCallback>("CBMENUENTRY")(18, &chosen);
        },
        [=] {
            bool stopped = false;
            std::thread([&] { stopped = stop(); }).join();  // on a thread of the debugger's own
            EXPECT_TRUE(stopped);
        }}};
#ifndef _WIN64
    all.push_back({"OllyDbg 2.01", [=] { hwollymain = gui; ASSERT_EQ(Entry<Olly2Init>("ODBG2_Plugininit")(), 0); },
        [](int action) {
            Olly2MenuItem* item = Entry<Olly2MenuQuery>("ODBG2_Pluginmenu")(L"MAIN");
            const ULONG index = action ? ULONG(action - 1) : 0;  // its own numbers: 3 and 4
            for (; item && item->name; ++item)
                if (item->index == index) item->function(nullptr, item->name, index, 1);
        },
        [] { Entry<void(__cdecl*)()>("ODBG2_Plugindestroy")(); }});
    all.push_back({"OllyDbg 1.10",
        [=] { ASSERT_EQ(Entry<int(__cdecl*)(int, HWND, void*)>("_ODBG_Plugininit")(110, gui, nullptr), 0); },
        [](int action) { Entry<void(__cdecl*)(int, int, void*)>("_ODBG_Pluginaction")(0, action, nullptr); },
        [] { Entry<void(__cdecl*)()>("_ODBG_Plugindestroy")(); }});
#endif
    return all;
}

class QuickCapture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(PluginModule(), nullptr);
        debugger_.reset(LoadLibraryA(kDebuggerDllName));
        ASSERT_TRUE(debugger_);
    }
    void TearDown() override {
        RemoveSettings();
        hwollymain = nullptr;
#ifndef _WIN64
        // OllyDbg 1.10's main window, given to the plug-in here, is gone.
        Entry<int(__cdecl*)(int, HWND, void*)>("_ODBG_Plugininit")(110, nullptr, nullptr);
#endif
    }
    // Set up with captures into a new folder and a delay of a second.
    void Start(const Debugger& host) {
        dir_ = std::make_unique<TempDir>();
        ASSERT_TRUE(WriteSettings(SettingsText(dir_->path(), 1, 0) + "Delay=1\r\n"));
        host.setUp();
    }
    // Pumps this thread's messages, as the debugger's loop does, until the
    // folder holds `count` files or the time is up.
    bool PumpUntilFiles(size_t count, DWORD timeoutMs = kStepMs) const {
        const DWORD start = GetTickCount();
        while (dir_->Files().size() < count) {
            if (GetTickCount() - start >= timeoutMs) return false;
            PumpMessages(50);
        }
        return true;
    }
    std::string OnlyFileMismatch(const PatternWindow& window) const {
        const std::vector<std::string> files = dir_->Files();
        if (files.size() != 1) return std::to_string(files.size()) + " files";
        return CaptureFileMismatch(dir_->file(files[0]), window.width(), window.height(),
                                   [&window](int x, int y) { return window.ColourAt(x, y); });
    }

    UniqueModule debugger_;
    std::unique_ptr<TempDir> dir_;
};

void PointAt(HWND window) { SetCursorPos(Centre(WindowRect(window)).x, Centre(WindowRect(window)).y); }

TEST_F(QuickCapture, CaptureAgainWritesTheLastTargetWhereItIsNowAndOpensNoWindow) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    for (const Debugger& host : Debuggers(debugger_.get(), gui.hwnd())) {
        SCOPED_TRACE(host.name);
        ASSERT_NO_FATAL_FAILURE(Start(host));
        auto target = std::make_unique<PatternWindow>(260, 40, 121, 83);
        RunPluginDialog([&] { host.entry(0); return INT_PTR(0); },
                        [&](CaptureDialog& dialog) { ASSERT_TRUE(dialog.DragTo(Centre(WindowRect(target->hwnd())))); });

        EXPECT_EQ(OwnerOfDialogFrom([&] { host.entry(4); }, Bound(1500)), kNoDialog) << "a dialog opened";
        EXPECT_EQ(OtherDialog(), nullptr);
        EXPECT_EQ(OnlyFileMismatch(*target), "");

        // Moved since it was picked: captured where it is now, twice at once, each file kept.
        SetWindowPos(target->hwnd(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages(150);
        host.entry(4);
        host.entry(4);
        ASSERT_EQ(dir_->Files().size(), 3u);
        for (const std::string& name : dir_->Files())
            EXPECT_EQ(CaptureFileMismatch(dir_->file(name), 121, 83,
                                          [&](int x, int y) { return target->ColourAt(x, y); }), "") << name;

        // Gone since: nothing written, nothing opened.
        target.reset();
        EXPECT_EQ(OwnerOfDialogFrom([&] { host.entry(4); }, Bound(1500)), kNoDialog);
        EXPECT_EQ(OtherDialog(), nullptr);
        EXPECT_EQ(dir_->Files().size(), 3u);
        host.unload();
    }
}

int hostTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++hostTicks; }

// The call returns at once, the debugger's own timer ticks meanwhile, and
// the window under the cursor when the delay is over is captured; stopped
// or unloaded while it waits, or over no window, nothing is.
TEST_F(QuickCapture, DelayedCaptureTakesTheWindowUnderTheCursorAtTheEndAndNothingAfterUnload) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    PatternWindow first(260, 40, 101, 71), second(420, 40, 87, 63);
    for (const Debugger& host : Debuggers(debugger_.get(), gui.hwnd())) {
        SCOPED_TRACE(host.name);
        ASSERT_NO_FATAL_FAILURE(Start(host));
        const UINT_PTR ticker = SetTimer(nullptr, 0, 50, CountTick);
        PointAt(first.hwnd());
        host.entry(5);
        EXPECT_TRUE(dir_->Files().empty()) << "captured before returning";
        const int ticksAtReturn = hostTicks;
        PointAt(second.hwnd());
        EXPECT_TRUE(PumpUntilFiles(1)) << "no capture after the delay";
        KillTimer(nullptr, ticker);
        EXPECT_GE(hostTicks - ticksAtReturn, 2) << "the host's timer stood still meanwhile";
        EXPECT_EQ(OnlyFileMismatch(second), "") << "not the window under the cursor at the end";

        ASSERT_NO_FATAL_FAILURE(Start(host));
        host.entry(5);
        host.unload();
        EXPECT_FALSE(PumpUntilFiles(1, Bound(2500))) << "captured after unload";
        ASSERT_NO_FATAL_FAILURE(Start(host));
        SetCursorPos(ScreenWidth() - 2, ScreenHeight() - 2);
        host.entry(5);
        EXPECT_FALSE(PumpUntilFiles(1, Bound(2500))) << "captured over no window";
        host.unload();
    }
}

// A pop-up menu open under the cursor is what the delayed capture takes,
// where Wine runs the thread's timers inside the menu's loop.
TEST_F(QuickCapture, DelayedCaptureTakesAPopupMenuOpenUnderTheCursor) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    const Debugger host = Debuggers(debugger_.get(), gui.hwnd()).front();
    ASSERT_NO_FATAL_FAILURE(Start(host));
    HMENU menu = CreatePopupMenu();
    for (const char* item : {"&Copy", "Follow in &Dump", "&Breakpoint"}) AppendMenuA(menu, MF_STRING, 1, item);
    SetCursorPos(300, 300);
    host.entry(5);
    RECT shown{};
    bool capturedWhileOpen = false;
    DialogDriver closer([&] {
        HWND popup = nullptr;
        if (!WaitUntil([&] { return (popup = FindWindowA("#32768", nullptr)) && IsWindowVisible(popup); })) return;
        GetWindowRect(popup, &shown);
        capturedWhileOpen = WaitUntil([&] { return !dir_->Files().empty(); }, Bound(8000));
        keybd_event(VK_ESCAPE, 0, 0, 0);
        keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    });
    SetForegroundWindow(gui.hwnd());
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 290, 290, 0, gui.hwnd(), nullptr);
    EXPECT_TRUE(closer.Finish());
    DestroyMenu(menu);
    PumpUntilFiles(1, Bound(3000));
    host.unload();
    if (!capturedWhileOpen) GTEST_SKIP() << "this Wine runs no thread timer inside a menu's loop";
    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(ReadWholeFile(dir_->file(dir_->Files().at(0))), bmp, error)) << error;
    EXPECT_EQ(bmp.width, shown.right - shown.left) << "not the menu";
    EXPECT_EQ(bmp.height, shown.bottom - shown.top) << "not the menu";
}

// OllyDbg 2.01 and Immunity Debugger are 32-bit programs.
#ifndef _WIN64
TEST(OllyDbg2Host, QueryInitMenusAndActions) {
    ASSERT_NE(PluginModule(), nullptr);
    const auto query = PluginEntry<Olly2Query>("ODBG2_Pluginquery");
    const auto init = PluginEntry<Olly2Init>("ODBG2_Plugininit");
    const auto menu = PluginEntry<Olly2MenuQuery>("ODBG2_Pluginmenu");
    ASSERT_TRUE(query && init && menu);

    wchar_t name[32], version[32];
    ULONG features = 0;
    EXPECT_EQ(query(200, &features, name, version), 0) << "OllyDbg below 2.01";
    EXPECT_EQ(query(201, &features, nullptr, version), 0);
    std::wmemset(name, L'#', 32);
    EXPECT_EQ(query(201, &features, name, version), 0x02010001);
    EXPECT_EQ(std::wstring(name), L"Pixmerle 1.1.7");
    EXPECT_EQ(std::wstring(version), L"1.1.7");
    EXPECT_EQ(menu(L"MAIN"), nullptr) << "a menu before init";

    uint32_t result = 1;
    EXPECT_EQ(CallAndMeasureStack(reinterpret_cast<void*>(init), 0, &result), 4u) << "cdecl: the caller cleans up";
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(menu(nullptr), nullptr);
    EXPECT_EQ(menu(L"DUMP"), nullptr);

    Olly2MenuItem* main = menu(L"MAIN");
    Olly2MenuItem* disasm = menu(L"DISASM");
    ASSERT_TRUE(main && disasm);
    const std::vector<std::wstring> titles{L"&Pixmerle 1.1.7", L"Capture &again", L"&Delayed capture under cursor",
                                           L"&Homepage", L"&About..."};
    for (size_t i = 0; i < titles.size(); ++i) {
        ASSERT_NE(main[i].name, nullptr) << i;
        EXPECT_EQ(std::wstring(main[i].name), titles[i]);
        EXPECT_EQ(main[i].function(nullptr, main[i].name, main[i].index, 0), 1) << "MENU_VERIFY gives MENU_NORMAL";
    }
    EXPECT_EQ(main[5].name, nullptr) << "the list ends with a zeroed item";
    EXPECT_EQ(main[5].function, nullptr);
    EXPECT_EQ(std::wstring(disasm[0].name), titles[0]);
    EXPECT_EQ(disasm[1].name, nullptr);

    SolidWindow olly(20, 20, 200, 120, 0x404040);
    hwollymain = olly.hwnd();
    int executed = -1;
    EXPECT_EQ(OwnerOfDialogFrom([&] { executed = main[0].function(nullptr, main[0].name, main[0].index, 1); }),
              olly.hwnd());
    EXPECT_EQ(executed, 0) << "MENU_NOREDRAW";
    EXPECT_EQ(OwnerOfDialogFrom([&] { disasm[0].function(nullptr, disasm[0].name, disasm[0].index, 1); }),
              olly.hwnd());
    EXPECT_EQ(main[0].function(nullptr, main[0].name, 17, 0), 0) << "an unknown index is absent";
    EXPECT_EQ(OwnerOfDialogFrom([&] { main[0].function(nullptr, main[0].name, 17, 1); }, Bound(1500)), kNoDialog);
    hwollymain = nullptr;
}

// Immunity Debugger calls OllyDbg 1.10's interface under its own names.
TEST(ImmunityHost, EveryEntryIsOllyDbg110s) {
    ASSERT_NE(PluginModule(), nullptr);
    for (const char* suffix : {"Plugindata", "Plugininit", "Pluginmenu", "Pluginaction", "Plugindestroy"}) {
        const FARPROC immunity = GetProcAddress(PluginModule(), (std::string("IMMDBG_") + suffix).c_str());
        EXPECT_NE(immunity, nullptr) << suffix;
        EXPECT_EQ(immunity, GetProcAddress(PluginModule(), (std::string("_ODBG_") + suffix).c_str())) << suffix;
    }
}
#endif

}  // namespace
