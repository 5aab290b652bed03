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
#include "tools/host_simulator/x32dbg_stand_in.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
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
    ASSERT_EQ(main.size(), 4u);
    const std::vector<std::pair<int, std::string>> expected{{0, "&Pixmerle 1.1.7"}, {-1, ""}, {1, "&Homepage"},
                                                            {2, "&About..."}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(main[i].entry, expected[i].first) << i;
        EXPECT_EQ(std::string(main[i].title), expected[i].second) << i;
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
    const std::vector<std::wstring> titles{L"&Pixmerle 1.1.7", L"&Homepage", L"&About..."};
    for (size_t i = 0; i < titles.size(); ++i) {
        ASSERT_NE(main[i].name, nullptr) << i;
        EXPECT_EQ(std::wstring(main[i].name), titles[i]);
        EXPECT_EQ(main[i].function(nullptr, main[i].name, main[i].index, 0), 1) << "MENU_VERIFY gives MENU_NORMAL";
    }
    EXPECT_EQ(main[3].name, nullptr) << "the list ends with a zeroed item";
    EXPECT_EQ(main[3].function, nullptr);
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
    for (const char* suffix : {"Plugindata", "Plugininit", "Pluginmenu", "Pluginaction"}) {
        const FARPROC immunity = GetProcAddress(PluginModule(), (std::string("IMMDBG_") + suffix).c_str());
        EXPECT_NE(immunity, nullptr) << suffix;
        EXPECT_EQ(immunity, GetProcAddress(PluginModule(), (std::string("_ODBG_") + suffix).c_str())) << suffix;
    }
}
#endif

}  // namespace
