// The plug-in's exported entry points, called on the real DLL the way each
// of the four hosts calls them.
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// Calls `function` with one 32-bit argument and gives how many bytes of
// arguments it left on the stack: 0 for stdcall, 4 for cdecl.
extern "C" uint32_t __cdecl CallAndMeasureStack(void* function, uint32_t argument, uint32_t* result);
asm(R"(
    .text
    .globl _CallAndMeasureStack
_CallAndMeasureStack:
    push %ebp
    mov %esp, %ebp
    push %esi
    mov %esp, %esi
    pushl 12(%ebp)
    call *8(%ebp)
    mov 16(%ebp), %ecx
    mov %eax, (%ecx)
    mov %esi, %eax
    sub %esp, %eax
    mov %esi, %esp
    pop %esi
    pop %ebp
    ret
)");

namespace {

using NameQuery = const char*(__cdecl*)();
using OllyData = int(__cdecl*)(char*);
using OllyInit = int(__cdecl*)(int, HWND, void*);
using OllyMenu = int(__cdecl*)(int, char*, void*);
using OllyAction = void(__cdecl*)(int, int, void*);
using PeidJob = int(__cdecl*)(HWND, const char*, DWORD, void*);

// What a driver saw of one capture dialog that it then closed with "Exit".
struct DialogRun {
    bool appeared = false;
    bool hostVisibleMeanwhile = false;
    HWND owner = nullptr;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    HICON finderImage = nullptr;
};

// Runs the entry point through `start` on this thread and notes what the
// dialog it opens shows.
DialogRun RunDialogThrough(const std::function<void()>& start, HWND hostWindow = nullptr) {
    DialogRun run;
    RunPluginDialog([&] { start(); return INT_PTR(0); }, [&](const CaptureDialog& dialog) {
        run.appeared = true;
        run.owner = GetWindow(dialog.hwnd(), GW_OWNER);
        run.hostVisibleMeanwhile = hostWindow && IsWindowVisible(hostWindow);
        DWORD_PTR icon = 0;
        SendMessageTimeoutA(dialog.hwnd(), WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, kAnswerMs, &icon);
        run.bigIcon = reinterpret_cast<HICON>(icon);
        SendMessageTimeoutA(dialog.hwnd(), WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, kAnswerMs, &icon);
        run.smallIcon = reinterpret_cast<HICON>(icon);
        SendMessageTimeoutA(dialog.Item(IDC_FINDER), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &icon);
        run.finderImage = reinterpret_cast<HICON>(icon);
    });
    return run;
}

const IMAGE_NT_HEADERS32* NtHeaders(HMODULE module) {
    auto base = reinterpret_cast<const uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
}

template <typename T>
const T* AtRva(HMODULE module, DWORD rva) {
    return reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(module) + rva);
}

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(PluginModule(), nullptr) << "Pixmerle_1_1_7.dll beside the test program"; }
};

TEST_F(EntryPoints, ExportTableNamesEveryEntryPointWithItsOrdinal) {
    const auto& directory = NtHeaders(PluginModule())->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    const auto* exports = AtRva<IMAGE_EXPORT_DIRECTORY>(PluginModule(), directory.VirtualAddress);
    EXPECT_STREQ(AtRva<char>(PluginModule(), exports->Name), "Pixmerle_1_1_7.dll");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 26u);
    ASSERT_EQ(exports->NumberOfNames, 26u);

    std::map<std::string, DWORD> ordinals;
    const auto* names = AtRva<DWORD>(PluginModule(), exports->AddressOfNames);
    const auto* nameOrdinals = AtRva<WORD>(PluginModule(), exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        ordinals[AtRva<char>(PluginModule(), names[i])] = exports->Base + nameOrdinals[i];
    const std::map<std::string, DWORD> expected{
        {"StartPTPlugin", 1},       {"GetPTPluginName", 2},    {"DoMyJob", 3},           {"LoadDll", 4},
        {"StartPlugin", 5},         {"GetPluginName", 6},      {"_ODBG_Pluginaction", 7}, {"_ODBG_Pluginmenu", 8},
        {"_ODBG_Plugininit", 9},    {"_ODBG_Plugindata", 10},  {"IMMDBG_Pluginaction", 11}, {"IMMDBG_Pluginmenu", 12},
        {"IMMDBG_Plugininit", 13},  {"IMMDBG_Plugindata", 14}, {"ODBG2_Pluginquery", 15}, {"ODBG2_Plugininit", 16},
        {"ODBG2_Pluginmenu", 17},   {"ODBG2_Pluginreset", 18}, {"ODBG2_Pluginclose", 19}, {"ODBG2_Plugindestroy", 20},
        {"pluginit", 21},           {"plugsetup", 22},         {"plugstop", 23},          {"CBMENUENTRY", 24},
        {"_ODBG_Plugindestroy", 25}, {"IMMDBG_Plugindestroy", 26}};
    EXPECT_EQ(ordinals, expected);
    for (const auto& [name, ordinal] : expected)
        EXPECT_EQ(GetProcAddress(PluginModule(), MAKEINTRESOURCEA(ordinal)), GetProcAddress(PluginModule(), name.c_str()))
            << name;
}

TEST_F(EntryPoints, ImportsOnlyWindowsSystemLibraries) {
    const auto& directory = NtHeaders(PluginModule())->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const std::set<std::string> system{"comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
                                       "msvcrt.dll",   "ole32.dll",    "shell32.dll", "user32.dll"};
    int count = 0;
    for (auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(PluginModule(), directory.VirtualAddress); entry->Name;
         ++entry, ++count) {
        std::string name = AtRva<char>(PluginModule(), entry->Name);
        CharLowerA(name.data());
        EXPECT_TRUE(system.count(name)) << name << " is not a Windows system library";
    }
    EXPECT_GT(count, 0);
}

TEST_F(EntryPoints, NameQueriesShareOneCopyOfTheName) {
    const char* fourth = PluginEntry<NameQuery>("GetPTPluginName")();
    const char* peid = PluginEntry<NameQuery>("LoadDll")();
    const char* quickUnpack = PluginEntry<NameQuery>("GetPluginName")();
    ASSERT_NE(fourth, nullptr);
    EXPECT_STREQ(fourth, "Pixmerle 1.1.7");
    EXPECT_EQ(std::strlen(fourth), 14u);
    EXPECT_EQ(peid, fourth);
    EXPECT_EQ(quickUnpack, fourth);

    char buffer[32];
    std::memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(PluginEntry<OllyData>("_ODBG_Plugindata")(buffer), 110);
    EXPECT_EQ(std::memcmp(buffer, "Pixmerle 1.1.7", 15), 0);
    EXPECT_EQ(PluginEntry<OllyData>("_ODBG_Plugindata")(nullptr), 110) << "a host without a buffer survives";
    for (size_t i = 15; i < sizeof buffer; ++i) EXPECT_EQ(uint8_t(buffer[i]), 0xAB) << "byte " << i;
}

TEST_F(EntryPoints, MenuTextDependsOnWhereTheDebuggerShowsIt) {
    const auto menu = PluginEntry<OllyMenu>("_ODBG_Pluginmenu");
    const struct {
        int origin;
        int result;
        const char* text;
    } cases[] = {{0, 1, "0 &Pixmerle 1.1.7|4 Capture &again|5 &Delayed capture under cursor|1 &Homepage|2 &About..."},
                 {31, 1, "0 &Pixmerle 1.1.7"},
                 {10, 0, nullptr},
                 {1, 0, nullptr},
                 {-1, 0, nullptr}};
    EXPECT_EQ(menu(0, nullptr, nullptr), 0) << "a host without a buffer gets no menu and survives";
    for (const auto& c : cases) {
        std::vector<char> buffer(4096, char(0xCD));
        EXPECT_EQ(menu(c.origin, buffer.data(), nullptr), c.result) << "origin " << c.origin;
        const size_t written = c.text ? std::strlen(c.text) + 1 : 0;
        if (c.text) {
            EXPECT_EQ(std::string(buffer.data()), c.text) << "origin " << c.origin;
        }
        for (size_t i = written; i < buffer.size(); ++i)
            if (buffer[i] != char(0xCD)) {
                ADD_FAILURE() << "origin " << c.origin << " wrote byte " << i;
                break;
            }
    }
}

// The About box from the debugger's menu is owned by the main window the
// debugger gave at its last accepted initialisation; refused ones change
// nothing.
TEST_F(EntryPoints, AboutBoxIsOwnedByTheAcceptedMainWindow) {
    const auto init = PluginEntry<OllyInit>("_ODBG_Plugininit");
    const auto action = PluginEntry<OllyAction>("_ODBG_Pluginaction");
    SolidWindow first(20, 20, 60, 40, 0xFF0000), second(100, 20, 60, 40, 0x00FF00), refused(180, 20, 60, 40, 0x0000FF);

    const auto aboutOwner = [&](std::string* text = nullptr, std::string* title = nullptr) {
        HWND owner = reinterpret_cast<HWND>(-1);
        DialogDriver driver([&] {
            HWND box = WaitForAnyDialog(kStepMs);
            if (!box) return;
            owner = GetWindow(box, GW_OWNER);
            if (title) *title = WindowText(box);
            if (text) *text = WindowText(GetDlgItem(box, 0xFFFF));
            ClickButton(box, IDOK);
        });
        action(0, 2, nullptr);
        EXPECT_TRUE(driver.Finish());
        return owner;
    };

    std::string text, title;
    EXPECT_EQ(aboutOwner(&text, &title), nullptr) << "before any initialisation";
    EXPECT_EQ(title, "About Programmer");
    EXPECT_EQ(text.rfind("Pixmerle 1.1.7\r\n\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n\r\nPlugin for OllyDBG , PEiD & Quick unpack\r\n\r\n"), std::string::npos) << text;

    EXPECT_EQ(init(109, refused.hwnd(), nullptr), -1);
    EXPECT_EQ(aboutOwner(), nullptr);
    EXPECT_EQ(init(110, first.hwnd(), nullptr), 0);
    EXPECT_EQ(aboutOwner(), first.hwnd());
    EXPECT_EQ(init(111, second.hwnd(), nullptr), 0);
    EXPECT_EQ(aboutOwner(), second.hwnd());
    EXPECT_EQ(init(-5, refused.hwnd(), nullptr), -1);
    EXPECT_EQ(aboutOwner(), second.hwnd());
}

// The homepage action hands its address to the shell; the test points the
// shell's handler for web addresses at a command that writes it to a file.
class HomepageAction : public EntryPoints {
protected:
    static constexpr const char* kHandlerKey = "Software\\Classes\\https\\shell\\open\\command";
    TempDir dir;
    std::string record = dir.path() + "\\opened.txt";
    std::string savedHandler;
    bool hadHandler = false;

    void SetUp() override {
        EntryPoints::SetUp();
        char value[1024] = {};
        LONG size = sizeof value;
        hadHandler = RegQueryValueA(HKEY_LOCAL_MACHINE, kHandlerKey, value, &size) == ERROR_SUCCESS;
        savedHandler = value;
        const std::string command = "C:\\windows\\system32\\cmd.exe /c echo %1>" + record;
        ASSERT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, kHandlerKey, REG_SZ, command.c_str(), DWORD(command.size())),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (hadHandler)
            RegSetValueA(HKEY_LOCAL_MACHINE, kHandlerKey, REG_SZ, savedHandler.c_str(), DWORD(savedHandler.size()));
        else
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, kHandlerKey);
    }
    std::string WaitForRecord(DWORD timeoutMs) {
        for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
            const std::vector<char> bytes = [&] {
                std::vector<char> content(4096);
                const UniqueFile file(CreateFileA(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
                if (!file) return std::vector<char>();
                DWORD read = 0;
                ReadFile(file.get(), content.data(), DWORD(content.size()), &read, nullptr);
                content.resize(read);
                return content;
            }();
            if (!bytes.empty() && bytes.back() == '\n') return std::string(bytes.begin(), bytes.end());
            Sleep(100);
        }
        return {};
    }
};

TEST_F(HomepageAction, OpensTheHomepageWithoutShowingAnything) {
    const auto action = PluginEntry<OllyAction>("_ODBG_Pluginaction");
    bool dialogShown = false;
    DialogDriver watcher([&] {
        if (HWND shown = WaitForAnyDialog(Bound(1500))) {
            dialogShown = true;
            PostMessageA(shown, WM_CLOSE, 0, 0);
        }
    });
    action(0, 1, nullptr);
    EXPECT_TRUE(watcher.Finish());
    EXPECT_FALSE(dialogShown);
    const std::string opened = WaitForRecord(Bound(20000));
    EXPECT_EQ(opened, "https://pixmerle.example.org/\r\n");
}

TEST_F(HomepageAction, OtherOriginsAndActionsDoNothing) {
    const auto action = PluginEntry<OllyAction>("_ODBG_Pluginaction");
    bool dialogShown = false;
    DialogDriver watcher([&] {
        if (HWND shown = WaitForAnyDialog(Bound(2500))) {
            dialogShown = true;
            PostMessageA(shown, WM_CLOSE, 0, 0);
            for (HWND capture : CaptureDialogs()) ClickButton(capture, IDC_EXIT);
        }
    });
    for (const auto& [origin, code] : {std::pair{31, 1}, {31, 2}, {0, 3}, {10, 0}, {-1, 0}, {0, -1}})
        action(origin, code, nullptr);
    EXPECT_TRUE(watcher.Finish());
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(WaitForRecord(kAnswerMs), "") << "no homepage was to be opened";
}

TEST_F(EntryPoints, DebuggerMenuActionsRunTheDialogWithoutOwner) {
    const auto action = PluginEntry<OllyAction>("_ODBG_Pluginaction");
    for (int origin : {0, 31}) {
        const DialogRun run = RunDialogThrough([&] { action(origin, 0, nullptr); });
        EXPECT_TRUE(run.appeared) << "origin " << origin;
        EXPECT_EQ(run.owner, nullptr);
        // The icons the plug-in loaded at start-up from its own module.
        EXPECT_NE(run.bigIcon, nullptr);
        EXPECT_EQ(run.bigIcon, LoadIconA(PluginModule(), MAKEINTRESOURCEA(IDI_APP)));
        EXPECT_EQ(run.smallIcon, run.bigIcon);
        EXPECT_NE(run.finderImage, nullptr);
        EXPECT_EQ(run.finderImage, LoadIconA(PluginModule(), MAKEINTRESOURCEA(IDI_FINDER)));
    }
}

TEST_F(EntryPoints, PeidJobHidesItsWindowDuringTheDialogAndShowsItAfter) {
    SolidWindow host(30, 500, 120, 80, 0x808080);
    int result = 0;
    const DialogRun run = RunDialogThrough(
        [&] { result = PluginEntry<PeidJob>("DoMyJob")(host.hwnd(), "C:\\sample.exe", 0, nullptr); }, host.hwnd());
    EXPECT_TRUE(run.appeared);
    EXPECT_FALSE(run.hostVisibleMeanwhile);
    EXPECT_TRUE(IsWindowVisible(host.hwnd()));
    EXPECT_EQ(result, 1);
}

TEST_F(EntryPoints, StdcallStartsRemoveTheirArgument) {
    SolidWindow host(30, 500, 120, 80, 0x808080);
    uint32_t result = 0xFFFF;
    uint32_t leftOnStack = 0xFFFF;
    DialogRun run = RunDialogThrough(
        [&] {
            leftOnStack = CallAndMeasureStack(reinterpret_cast<void*>(GetProcAddress(PluginModule(), "StartPTPlugin")),
                                              uint32_t(reinterpret_cast<uintptr_t>(host.hwnd())), &result);
        },
        host.hwnd());
    EXPECT_TRUE(run.appeared);
    EXPECT_EQ(leftOnStack, 0u);
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(run.hostVisibleMeanwhile) << "the fourth host's window is not hidden before the dialog";
    EXPECT_FALSE(IsWindowVisible(host.hwnd())) << "it is hidden after it";

    run = RunDialogThrough([&] {
        leftOnStack = CallAndMeasureStack(reinterpret_cast<void*>(GetProcAddress(PluginModule(), "StartPlugin")),
                                          0x12345678, &result);
    });
    EXPECT_TRUE(run.appeared);
    EXPECT_EQ(leftOnStack, 0u);
    EXPECT_EQ(result, 0u) << "the dialog's result";

    char name[32];
    leftOnStack = CallAndMeasureStack(reinterpret_cast<void*>(GetProcAddress(PluginModule(), "_ODBG_Plugindata")),
                                      uint32_t(reinterpret_cast<uintptr_t>(name)), &result);
    EXPECT_EQ(leftOnStack, 4u) << "cdecl: the caller removes the argument";
    EXPECT_EQ(result, 110u);
}

}  // namespace
