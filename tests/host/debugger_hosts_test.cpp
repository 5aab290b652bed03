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

// One debugger as the quick captures meet it: set up, started once to pick a
// target, then its "Capture again" and "Delayed capture under cursor".
struct Debugger {
    std::string name;
    std::function<void()> setUp;
    std::function<void()> startDialog;
    std::function<void()> captureAgain;
    std::function<void()> delayedCapture;
    std::function<void()> unload;
};

class QuickCapture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(PluginModule(), nullptr);
        debugger_.reset(LoadLibraryA(kDebuggerDllName));
        ASSERT_TRUE(debugger_);
        RemoveSettings();
    }
    void TearDown() override {
        RemoveSettings();
        hwollymain = nullptr;
#ifndef _WIN64
        // OllyDbg 1.10's main window, given to the plug-in here, is gone.
        PluginEntry<int(__cdecl*)(int, HWND, void*)>("_ODBG_Plugininit")(110, nullptr, nullptr);
#endif
    }

    void SaveInto(const TempDir& dir, const char* delay = "1") {
        ASSERT_TRUE(WriteSettings(SettingsText(dir.path(), 1, 0) + "Delay=" + delay + "\r\n"));
    }

    std::vector<Debugger> Debuggers(HWND mainWindow) {
        std::vector<Debugger> all;
        const auto stop = PluginEntry<PluginStop>("plugstop");
        const auto menuEntry = PluginEntry<MenuCallback>("CBMENUENTRY");
        const auto x32dbgEntry = [menuEntry](int entry) {
            X64dbgMenuEntry chosen{entry};
            menuEntry(18, &chosen);
        };
        all.push_back(Debugger{"x32dbg",
            [this, mainWindow, stop] {
                stop();  // from an earlier test
                X64dbgInit data{};
                data.pluginHandle = 7;
                ASSERT_TRUE(PluginEntry<PluginInit>("pluginit")(&data));
                const auto addMenu = Export<AddPluginMenuFn>(debugger_.get(), "simulator_add_plugin_menu");
                ASSERT_NE(addMenu, nullptr);
                X64dbgSetup menus{mainWindow, addMenu(7, "main"), addMenu(7, "disasm"), -1, -1, -1, -1, -1};
                PluginEntry<PluginSetup>("plugsetup")(&menus);
            },
            [x32dbgEntry] { x32dbgEntry(0); }, [x32dbgEntry] { x32dbgEntry(4); }, [x32dbgEntry] { x32dbgEntry(5); },
            [stop] {
                bool stopped = false;
                std::thread([&] { stopped = stop(); }).join();  // from a thread of the debugger's own
                EXPECT_TRUE(stopped);
            }});
#ifndef _WIN64
        const auto olly2Item = [](ULONG index) {
            Olly2MenuItem* main = PluginEntry<Olly2MenuQuery>("ODBG2_Pluginmenu")(L"MAIN");
            if (!main) return;
            for (Olly2MenuItem* item = main; item->name; ++item)
                if (item->index == index) item->function(nullptr, item->name, index, 1);
        };
        all.push_back(Debugger{"OllyDbg 2.01",
            [mainWindow] {
                hwollymain = mainWindow;
                ASSERT_EQ(PluginEntry<Olly2Init>("ODBG2_Plugininit")(), 0);
            },
            [olly2Item] { olly2Item(0); }, [olly2Item] { olly2Item(3); }, [olly2Item] { olly2Item(4); },
            [] { PluginEntry<void(__cdecl*)()>("ODBG2_Plugindestroy")(); }});
        const auto ollyAction = [](int action) {
            PluginEntry<void(__cdecl*)(int, int, void*)>("_ODBG_Pluginaction")(0, action, nullptr);
        };
        all.push_back(Debugger{"OllyDbg 1.10",
            [mainWindow] {
                ASSERT_EQ(PluginEntry<int(__cdecl*)(int, HWND, void*)>("_ODBG_Plugininit")(110, mainWindow, nullptr), 0);
            },
            [ollyAction] { ollyAction(0); }, [ollyAction] { ollyAction(4); }, [ollyAction] { ollyAction(5); },
            [] { PluginEntry<void(__cdecl*)()>("_ODBG_Plugindestroy")(); }});
#endif
        return all;
    }

    UniqueModule debugger_;
};

std::string PatternMismatch(const std::string& path, const PatternWindow& window) {
    return CaptureFileMismatch(path, window.width(), window.height(),
                               [&window](int x, int y) { return window.ColourAt(x, y); });
}

// Pumps this thread's messages, as the debugger's loop does, until the
// folder holds `count` files or the time is up.
bool PumpUntilFiles(const TempDir& dir, size_t count, DWORD timeoutMs = kStepMs) {
    const DWORD start = GetTickCount();
    while (dir.Files().size() < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        PumpMessages(50);
    }
    return true;
}

TEST_F(QuickCapture, CaptureAgainWritesTheLastTargetWhereItIsNowAndOpensNoWindow) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    for (const Debugger& host : Debuggers(gui.hwnd())) {
        SCOPED_TRACE(host.name);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(SaveInto(dir));
        ASSERT_NO_FATAL_FAILURE(host.setUp());
        auto target = std::make_unique<PatternWindow>(260, 40, 121, 83);
        RunPluginDialog([&] { host.startDialog(); return INT_PTR(0); }, [&](CaptureDialog& dialog) {
            ASSERT_TRUE(dialog.DragTo(Centre(WindowRect(target->hwnd()))));
        });
        ASSERT_TRUE(CaptureDialogs().empty());

        EXPECT_EQ(OwnerOfDialogFrom(host.captureAgain, Bound(1500)), kNoDialog) << "a dialog opened";
        EXPECT_EQ(OtherDialog(), nullptr);
        std::vector<std::string> files = dir.Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(PatternMismatch(dir.file(files[0]), *target), "");

        // Moved since it was picked: captured where it is now, and again at once.
        SetWindowPos(target->hwnd(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages(150);
        host.captureAgain();
        host.captureAgain();
        files = dir.Files();
        ASSERT_EQ(files.size(), 3u) << "repeated captures each keep their file";
        for (const std::string& name : files) EXPECT_EQ(PatternMismatch(dir.file(name), *target), "") << name;

        // Gone since: nothing written, nothing opened.
        target.reset();
        EXPECT_EQ(OwnerOfDialogFrom(host.captureAgain, Bound(1500)), kNoDialog);
        EXPECT_EQ(OtherDialog(), nullptr);
        EXPECT_EQ(dir.Files().size(), 3u);
        host.unload();
    }
}

int hostTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++hostTicks; }

TEST_F(QuickCapture, DelayedCaptureReturnsAtOnceAndTakesTheWindowUnderTheCursorWhenTheDelayIsOver) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    PatternWindow first(260, 40, 101, 71), second(420, 40, 87, 63);
    for (const Debugger& host : Debuggers(gui.hwnd())) {
        SCOPED_TRACE(host.name);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(SaveInto(dir));
        ASSERT_NO_FATAL_FAILURE(host.setUp());
        // The host's own timer, on the thread that the plug-in's shares.
        const UINT_PTR ticker = SetTimer(nullptr, 0, 50, CountTick);
        ASSERT_NE(ticker, 0u);
        SetCursorPos(Centre(WindowRect(first.hwnd())).x, Centre(WindowRect(first.hwnd())).y);
        host.delayedCapture();
        EXPECT_TRUE(dir.Files().empty()) << "captured before returning";
        const int ticksAtReturn = hostTicks;
        SetCursorPos(Centre(WindowRect(second.hwnd())).x, Centre(WindowRect(second.hwnd())).y);
        ASSERT_TRUE(PumpUntilFiles(dir, 1)) << "no capture after the delay";
        KillTimer(nullptr, ticker);
        EXPECT_GE(hostTicks - ticksAtReturn, 2) << "the host's timer stood still meanwhile";
        const std::vector<std::string> files = dir.Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(PatternMismatch(dir.file(files[0]), second), "") << "not the window under the cursor at the end";
        EXPECT_EQ(OtherDialog(), nullptr);
        host.unload();
    }
}

// A pop-up menu the debugger opens meanwhile under the cursor is what the
// delayed capture takes, where Wine runs the thread's timers inside the
// menu's loop.
TEST_F(QuickCapture, DelayedCaptureTakesAPopupMenuOpenUnderTheCursor) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    const Debugger host = Debuggers(gui.hwnd()).front();
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(SaveInto(dir));
    ASSERT_NO_FATAL_FAILURE(host.setUp());
    HMENU menu = CreatePopupMenu();
    for (const char* item : {"&Copy", "Follow in &Dump", "&Breakpoint"}) AppendMenuA(menu, MF_STRING, 1, item);
    const POINT at{300, 300};
    SetCursorPos(at.x, at.y);
    host.delayedCapture();
    RECT shown{};
    bool capturedWhileOpen = false;
    DialogDriver closer([&] {
        HWND popup = nullptr;
        if (!WaitUntil([&] { return (popup = FindWindowA("#32768", nullptr)) && IsWindowVisible(popup); })) return;
        GetWindowRect(popup, &shown);
        capturedWhileOpen = WaitUntil([&] { return !dir.Files().empty(); }, Bound(8000));
        INPUT escape[2] = {};
        for (INPUT& key : escape) {
            key.type = INPUT_KEYBOARD;
            key.ki.wVk = VK_ESCAPE;
        }
        escape[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, escape, sizeof(INPUT));
    });
    SetForegroundWindow(gui.hwnd());
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, at.x - 10, at.y - 10, 0, gui.hwnd(), nullptr);
    EXPECT_TRUE(closer.Finish());
    DestroyMenu(menu);
    PumpUntilFiles(dir, 1, Bound(3000));
    if (!capturedWhileOpen) {
        host.unload();
        GTEST_SKIP() << "this Wine runs no thread timer inside a menu's loop";
    }
    const std::vector<std::string> files = dir.Files();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<uint8_t> bytes = ReadWholeFile(dir.file(files[0]));
    BmpFile bmp;
    std::string error;
    ASSERT_TRUE(ParseBmp(bytes, bmp, error)) << error;
    EXPECT_EQ(bmp.width, shown.right - shown.left) << "not the menu's width";
    EXPECT_EQ(bmp.height, shown.bottom - shown.top) << "not the menu's height";
    host.unload();
}

// Stopped or destroyed with a delayed capture waiting: none comes, and
// with the cursor over no window none comes either.
TEST_F(QuickCapture, NoDelayedCaptureAfterUnloadNorOverNoWindow) {
    SolidWindow gui(20, 20, 200, 120, 0x404040);
    PatternWindow target(260, 40, 101, 71);
    for (const Debugger& host : Debuggers(gui.hwnd())) {
        SCOPED_TRACE(host.name);
        TempDir dir;
        ASSERT_NO_FATAL_FAILURE(SaveInto(dir));
        ASSERT_NO_FATAL_FAILURE(host.setUp());
        SetCursorPos(Centre(WindowRect(target.hwnd())).x, Centre(WindowRect(target.hwnd())).y);
        host.delayedCapture();
        host.unload();
        EXPECT_FALSE(PumpUntilFiles(dir, 1, Bound(2500))) << "captured after unload";

        ASSERT_NO_FATAL_FAILURE(host.setUp());
        SetCursorPos(ScreenWidth() - 2, ScreenHeight() - 2);
        host.delayedCapture();
        EXPECT_FALSE(PumpUntilFiles(dir, 1, Bound(2500))) << "captured over no window";
        // A second request starts the wait afresh and captures once.
        SetCursorPos(Centre(WindowRect(target.hwnd())).x, Centre(WindowRect(target.hwnd())).y);
        host.delayedCapture();
        host.delayedCapture();
        ASSERT_TRUE(PumpUntilFiles(dir, 1));
        PumpMessages(Bound(1500));
        EXPECT_EQ(dir.Files().size(), 1u) << "a replaced request captured too";
        host.unload();
    }
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
