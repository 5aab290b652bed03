#include "dialog/folders.h"
#include "dialog/options.h"
#include "common/handles.h"
#include "resources/resource_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/pattern_window.h"
#include "tests/support/plugin_dialog.h"
#include "tests/support/plugin_library.h"
#include "tests/support/settings_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TEST(ExtractDirectory, SplitsAtTheLastSeparator) {
    EXPECT_EQ(ExtractDirectory("C:\\Tools\\host.exe"), "C:\\Tools\\");
    EXPECT_EQ(ExtractDirectory("C:/Tools/host.exe"), "C:/Tools/");
    EXPECT_EQ(ExtractDirectory("C:\\Tools/sub\\host.exe"), "C:\\Tools/sub\\");
    EXPECT_EQ(ExtractDirectory("C:\\"), "C:\\");
    EXPECT_EQ(ExtractDirectory("host.exe"), "");
    EXPECT_EQ(ExtractDirectory(""), "");
}

// The settings file lives beside this test program, the "host" here.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { RemoveSettings(); }
    void TearDown() override { RemoveSettings(); }
    static void SetGlobals(const char* folder, int32_t toFolder, int32_t hide, int32_t clipboard = 0) {
        lstrcpynA(SaveFolder, folder, sizeof(SaveFolder));
        SaveToFolder = toFolder;
        HideOnCapture = hide;
        CopyToClipboard = clipboard;
    }
};

TEST_F(SettingsFile, PathIsBesideTheHostExecutable) {
    EXPECT_EQ(SettingsFilePath(), SettingsPath());
}

TEST_F(SettingsFile, WrittenFromScratchHoldsTheSectionAndFourKeysInOrder) {
    SetGlobals("C:\\shots", -1, 0, -1);
    SaveSettings();
    EXPECT_EQ(ReadSettings(), "[Settings]\r\nAddress=C:\\shots\r\nIsAddress=1\r\nIsHide=0\r\nIsClipboard=1\r\n");
    SetGlobals("", 0, 0, 0);
    LoadSettings();
    EXPECT_STREQ(SaveFolder, "C:\\shots");
    EXPECT_EQ(SaveToFolder, 1);
    EXPECT_EQ(HideOnCapture, 0);
    EXPECT_EQ(CopyToClipboard, 1);
    EXPECT_EQ(CaptureDelaySeconds, kDefaultDelaySeconds) << "no Delay key";
}

// "Delay" is read and never written: only a whole number of seconds from 1
// to 30 counts, anything else gives 3.
TEST_F(SettingsFile, DelayOutsideOneToThirtyOrNotANumberGivesThree) {
    const std::pair<const char*, int32_t> cases[] = {
        {"1", 1},   {"30", 30}, {"7 ", 7},  {"", 3},     {"0", 3},           {"-5", 3},
        {"31", 3},  {"abc", 3}, {"5s", 3},  {"2.5", 3},  {"99999999999", 3},
    };
    for (const auto& [text, seconds] : cases) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(WriteSettings(std::string("[Settings]\r\nDelay=") + text + "\r\nIsClipboard=5\r\n"));
        CaptureDelaySeconds = 17;
        LoadSettings();
        EXPECT_EQ(CaptureDelaySeconds, seconds);
        EXPECT_EQ(CopyToClipboard, 5) << "read as it stands, non-zero on";
    }
    ASSERT_TRUE(WriteSettings("[Settings]\r\nIsClipboard=1\r\n"));
    LoadSettings();
    EXPECT_EQ(CaptureDelaySeconds, 3) << "no Delay key";
    CaptureDelaySeconds = 12;
    SaveSettings();
    EXPECT_EQ(ReadSettings().find("Delay"), std::string::npos) << "Apply writes no Delay";
}

TEST_F(SettingsFile, ValuesAreReadAsTheyStandAndWrittenBackAsOneOrZero) {
    ASSERT_TRUE(WriteSettings("[Settings]\r\nAddress=D:\\\r\nIsAddress=7\r\nIsHide=abc\r\n"));
    LoadSettings();
    EXPECT_STREQ(SaveFolder, "D:\\");
    EXPECT_EQ(SaveToFolder, 7);
    EXPECT_EQ(HideOnCapture, 0);
    EXPECT_EQ(RgbOnly, 0) << "IsRgb is off without its key";
    SaveSettings();
    EXPECT_EQ(ReadSettings(), SettingsText("D:\\", 1, 0));
}

// IsRgb has no control: it is read like IsAddress, and saving the dialog's
// options leaves the key as the user wrote it.
TEST_F(SettingsFile, IsRgbIsReadAsAnIntegerAndKeptAsWritten) {
    for (const char* value : {"1", "-3", "0", "x"}) {
        SCOPED_TRACE(value);
        const std::string text = std::string("[Settings]\r\nIsRgb=") + value + "\r\nIsHide=1\r\n";
        ASSERT_TRUE(WriteSettings(text));
        RgbOnly = 99;
        LoadSettings();
        EXPECT_EQ(RgbOnly, int32_t(std::atoi(value)));
        SaveSettings();
        EXPECT_NE(ReadSettings().find(std::string("IsRgb=") + value + "\r\n"), std::string::npos) << ReadSettings();
    }
}

TEST_F(SettingsFile, OverlongAddressIsCutTo259Characters) {
    const std::string longFolder = "C:\\" + std::string(297, 'f');
    ASSERT_TRUE(WriteSettings("[Settings]\r\nAddress=" + longFolder + "\r\n"));
    std::memset(SaveFolder, 'Z', sizeof(SaveFolder));
    LoadSettings();
    EXPECT_EQ(std::string(SaveFolder), longFolder.substr(0, 259));
    EXPECT_EQ(SaveFolder[260], 'Z') << "nothing is written past the 260 bytes of a read";
}

TEST_F(SettingsFile, MissingGarbageOrHugeFilesGiveTheDefaults) {
    std::string garbage(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = char((i * 7919) % 251);
    for (const bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "no file" : "3 MiB of garbage");
        if (!missing) {
            ASSERT_TRUE(WriteSettings(garbage));
        }
        EXPECT_EQ(FileExists(SettingsPath().c_str()), !missing);
        SetGlobals("C:\\old", 1, 1, 1);
        LoadSettings();
        EXPECT_STREQ(SaveFolder, "");
        EXPECT_EQ(SaveToFolder, 0);
        EXPECT_EQ(HideOnCapture, 0);
        EXPECT_EQ(CopyToClipboard, 0);
    }
}

TEST_F(SettingsFile, LockedFileLosesTheWriteSilently) {
    ASSERT_TRUE(WriteSettings(SettingsText("C:\\kept", 0, 0)));
    {
        UniqueFile lock(CreateFileA(SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        SetGlobals("C:\\lost", 1, 1);
        SaveSettings();
        LoadSettings();
        EXPECT_STREQ(SaveFolder, "") << "a locked file reads as missing";
    }
    EXPECT_EQ(ReadSettings(), SettingsText("C:\\kept", 0, 0));
}

TEST(FileExistsTest, DirectoriesAndFilesOpenForWritingCountAsMissing) {
    TempDir dir;
    EXPECT_FALSE(FileExists(dir.path().c_str()));
    const std::string file = dir.file("held.ini");
    {
        UniqueFile writer(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_FALSE(FileExists(file.c_str()));
    }
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_FALSE(FileExists(dir.file("absent.ini").c_str()));
}

// The folder browser, answered from a second thread.
class FolderBrowser : public ::testing::Test {
protected:
    static constexpr const char* kRoot = "<root>";
    std::string selectedAtClose;
    std::string expectedLeaf;
    static inline std::string rootText;
    static inline bool foundItem = false;
    PatternWindow owner{40, 40, 60, 60};
    TempDir dir;
    CurrentFolder hostFolder;

    // The browser lists the drives that Wine's mount manager reports; in a
    // fresh prefix the manager comes up a while after the first program.
    void SetUp() override {
        constexpr DWORD kDrivesCAndD = 1u << ('C' - 'A') | 1u << ('D' - 'A');
        ASSERT_TRUE(WaitUntil([] { return (GetLogicalDrives() & kDrivesCAndD) == kDrivesCAndD; }, Bound(60000)))
            << "waited in vain for Wine's mount manager to report drives C: and D: (drive mask " << std::hex
            << GetLogicalDrives() << ")";
    }

    void ExpectHostFolderStillCurrent() const {
        EXPECT_TRUE(hostFolder.StillCurrent()) << "the browser made " << CurrentDirectory() << " current";
    }

    // Runs the browser; the driver optionally selects the item under the root
    // whose text contains `select`, the way a click on it does, then presses
    // OK or Cancel. Returns what the browser gave back. With `probe`, the
    // driver also asks the open browser itself to select that path.
    bool Browse(std::string& folder, const std::string& select, int button, std::string* shownSelection = nullptr,
                const std::string& probe = "", std::string* probeSelection = nullptr) {
        SetActiveWindow(owner.hwnd());
        DialogDriver driver([&] {
            HWND browser = WaitForAnyDialog(kShellDialogMs);
            if (!browser) return;
            if (shownSelection) *shownSelection = SelectionSettledOn(browser, expectedLeaf);
            if (probeSelection) {
                DWORD_PTR ignored;
                SendMessageTimeoutA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(probe.c_str()),
                                    SMTO_ABORTIFHUNG, 2 * kAnswerMs, &ignored);
                *probeSelection = SelectionSettledOn(browser, expectedLeaf);
            }
            if (!select.empty()) SelectChildOfRoot(browser, select);
            selectedAtClose = SelectedItemText(browser);
            ClickButton(browser, button);
            for (int i = 0; i < 100 && IsWindow(browser); ++i) Sleep(50);
            if (IsWindow(browser)) PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
        });
        const bool chosen = BrowseForFolder(owner.hwnd(), "Choose a folder", folder);
        EXPECT_TRUE(driver.Finish());
        ExpectHostFolderStillCurrent();
        return chosen;
    }

    static std::string ItemText(HWND tree, DWORD_PTR item) {
        char text[MAX_PATH] = {};
        TVITEMA query{};
        query.mask = TVIF_TEXT;
        query.hItem = reinterpret_cast<HTREEITEM>(item);
        query.pszText = text;
        query.cchTextMax = sizeof(text);
        DWORD_PTR ok = 0;
        SendMessageTimeoutA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query), SMTO_ABORTIFHUNG, kAnswerMs, &ok);
        return text;
    }

    // A real click on the item's text, as the user makes it.
    static void ClickItem(HWND tree, DWORD_PTR item) {
        // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
        RECT rect{};
        const HTREEITEM handle = reinterpret_cast<HTREEITEM>(item);
        std::memcpy(&rect, &handle, sizeof(handle));
        DWORD_PTR ok = 0;
        SendMessageTimeoutA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect), SMTO_ABORTIFHUNG, kAnswerMs, &ok);
        POINT point = Centre(rect);
        ClientToScreen(tree, &point);
        SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, point);
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
        Sleep(500);
    }

    static void SelectChildOfRoot(HWND browser, const std::string& part) {
        HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
        DWORD_PTR root = 0, child = 0, ignored = 0;
        SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, SMTO_ABORTIFHUNG, kAnswerMs, &root);
        if (part == kRoot) {
            rootText = ItemText(tree, root);
            ClickItem(tree, root);
            return;
        }
        // Wine's mount manager may still be announcing the drives in a fresh
        // prefix: look again, re-reading the root's children, for a while.
        for (int attempt = 0; attempt < 20 && !child; ++attempt) {
            if (attempt) {
                SendMessageTimeoutA(tree, TVM_EXPAND, TVE_COLLAPSE | TVE_COLLAPSERESET, LPARAM(root), SMTO_ABORTIFHUNG,
                                    2 * kAnswerMs, &ignored);
                Sleep(500);
            }
            SendMessageTimeoutA(tree, TVM_EXPAND, TVE_EXPAND, LPARAM(root), SMTO_ABORTIFHUNG, 2 * kAnswerMs, &ignored);
            SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(root), SMTO_ABORTIFHUNG, kAnswerMs, &child);
            while (child && ItemText(tree, child).find(part) == std::string::npos)
                SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(child), SMTO_ABORTIFHUNG, kAnswerMs, &child);
        }
        foundItem = child != 0;
        if (child) SendMessageTimeoutA(tree, TVM_SELECTITEM, TVGN_CARET, LPARAM(child), SMTO_ABORTIFHUNG, kAnswerMs, &ignored);
    }

    // The browser fills its tree as it goes, a folder at a time, slowly on
    // a busy emulated machine: wait for the expected selection.
    static std::string SelectionSettledOn(HWND browser, const std::string& expected) {
        std::string text = SelectedItemText(browser);
        if (!expected.empty())
            WaitUntil([&] { return lstrcmpiA((text = SelectedItemText(browser)).c_str(), expected.c_str()) == 0; },
                      Bound(10000));
        return text;
    }

    static std::string SelectedItemText(HWND browser) {
        HWND tree = FindWindowExA(browser, nullptr, WC_TREEVIEWA, nullptr);
        if (!tree) return std::string();
        DWORD_PTR item = 0;
        SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, kAnswerMs, &item);
        return item ? ItemText(tree, item) : std::string();
    }
};

// wine-run's check before each attempt at these tests: SetUp's wait for the
// drives, whose failure gets Wine's services restarted.
TEST_F(FolderBrowser, MountManagerReportsTheDrives) {}

// On a thread without COM, and on one in the multithreaded apartment, where
// the browser may fail but must not take that apartment away.
TEST_F(FolderBrowser, ChoosingAFolderGivesItsPathAndLeavesTheThreadsComAsItWas) {
    for (const bool multithreaded : {false, true}) {
        SCOPED_TRACE(multithreaded ? "in the multithreaded apartment" : "without COM");
        const HRESULT entered = multithreaded ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : S_OK;
        ASSERT_EQ(entered, S_OK) << "COM was already on this thread";
        std::string folder;
        const bool chosen = Browse(folder, "(C:)", IDOK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), multithreaded ? S_FALSE : S_OK);
        CoUninitialize();
        if (multithreaded) CoUninitialize();
        ASSERT_TRUE(foundItem) << "the browser listed no drive C: (is Wine's mount manager running?)";
        // A browse that fails there leaves the folder empty.
        EXPECT_TRUE(chosen || multithreaded);
        EXPECT_EQ(lstrcmpiA(folder.c_str(), chosen || !multithreaded ? "C:\\" : ""), 0) << folder;
    }
}

TEST_F(FolderBrowser, CancellingOrConfirmingTheComputerFolderGivesFalse) {
    std::string folder = "unchanged";
    EXPECT_FALSE(Browse(folder, "(C:)", IDCANCEL));
    EXPECT_EQ(folder, "unchanged");

    folder.clear();
    const bool chosen = Browse(folder, kRoot, IDOK);
    if (selectedAtClose != rootText)
        FAIL() << "the browser kept '" << selectedAtClose << "' selected after a click on '" << rootText << "'";
    // The computer folder itself has no file-system path to give back.
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    char path[MAX_PATH] = {};
    const bool computerHasPath = SHGetPathFromIDListA(computer, path);
    CoTaskMemFree(computer);
    ASSERT_FALSE(computerHasPath);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(folder, "");
}

TEST_F(FolderBrowser, NonEmptyFolderTextOpensWithThatFolderSelected) {
    std::string folder = dir.path();
    std::string shown, probed;
    const std::string leaf = dir.path().substr(dir.path().find_last_of('\\') + 1);
    expectedLeaf = leaf;
    const bool chosen = Browse(folder, "", IDOK, &shown, dir.path(), &probed);
    if (lstrcmpiA(probed.c_str(), leaf.c_str()) != 0)
        FAIL() << "the open browser could not be made to select a path below the computer folder (it showed '" << probed
                     << "')";
    EXPECT_EQ(lstrcmpiA(shown.c_str(), leaf.c_str()), 0) << "shown '" << shown << "'";
    EXPECT_TRUE(chosen);
    EXPECT_EQ(lstrcmpiA(folder.c_str(), dir.path().c_str()), 0) << folder;
}

// The real dialog's "..." button: the drive chosen in the browser goes into
// the folder edit.
TEST_F(FolderBrowser, BrowseButtonPutsTheChosenDriveIntoTheDialogsFolder) {
    ASSERT_NO_FATAL_FAILURE(ExpectPluginFromProgramFolder());
    const auto startPlugin = PluginEntry<StartPluginFn>("StartPlugin");
    ASSERT_NE(startPlugin, nullptr);
    RunPluginDialog([&] { return startPlugin(0); }, [&](const CaptureDialog& d) {
        ASSERT_EQ(d.Folder(), "");
        ClickButton(d.hwnd(), IDC_BROWSE);
        const HWND browser = WaitForOtherDialog();
        ASSERT_NE(browser, nullptr) << "'...' opened no folder browser";
        EXPECT_EQ(GetWindow(browser, GW_OWNER), d.hwnd());
        SelectChildOfRoot(browser, "(D:)");
        EXPECT_TRUE(foundItem) << "the browser listed no drive D:";
        ClickButton(browser, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser) && d.Folder() == "D:\\"; }))
            << "the folder edit holds '" << d.Folder() << "'";
    });
    ExpectHostFolderStillCurrent();
}

}  // namespace
