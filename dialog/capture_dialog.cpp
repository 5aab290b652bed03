#include "dialog/capture_dialog.h"

#include "capture/screen_shot.h"
#include "common/compositor.h"
#include "common/dpi_awareness.h"
#include "common/own_module.h"
#include "dialog/about.h"
#include "dialog/artwork.h"
#include "dialog/folders.h"
#include "dialog/options.h"
#include "resources/resource_ids.h"
#include "tracking/target_tracker.h"

#include <atomic>
#include <string>

HWND PointedWnd = nullptr;

namespace {

// Read by a host's stop on a thread of its own.
std::atomic<HWND> OpenDialog{nullptr};

constexpr DWORD kPauseAfterCaptureMs = 500;

bool IsTicked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

int32_t FlagFor(bool on) { return on ? -1 : 0; }

// Reads the folder edit into SaveFolder; longer texts are cut to what fits.
void ReadFolderEdit(HWND dialog) { GetDlgItemTextA(dialog, IDC_FOLDER_EDIT, SaveFolder, sizeof SaveFolder - 1); }

// The window under the finder as the snapshot holds it: class, size of
// what a capture takes, the start of its text and its process.
std::string PickLine() {
    if (!MiscData || !MiscData->HasTarget || !MiscData->Snapshot.TargetWnd) return std::string();
    constexpr size_t kTextStart = 32;
    const TMiscData& pick = *MiscData;
    std::string text = pick.TextA.substr(0, kTextStart);
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (pick.TextA.size() > kTextStart) text += "...";
    const RECT& rect = pick.CaptureRect;
    std::string line = pick.ClassNameA + " " + std::to_string(rect.right - rect.left) + "x" +
                       std::to_string(rect.bottom - rect.top) + " \"" + text + "\" ";
    if (!pick.ExeName.empty()) line += pick.ExeName + " ";
    return line + "(" + std::to_string(pick.Snapshot.ProcessID) + ")";
}

void ShowPick(HWND dialog) { SetDlgItemTextA(dialog, IDC_PICK_LINE, PickLine().c_str()); }

void ShowFinder(HWND dialog, HICON icon) {
    SendDlgItemMessageA(dialog, IDC_FINDER, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

void InitDialog(HWND dialog) {
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
    LoadSettings();
    if (FileExists(SettingsFilePath().c_str())) {
        if (SaveToFolder) CheckDlgButton(dialog, IDC_SAVE_TO_FOLDER, BST_CHECKED);
        SaveToFolder = FlagFor(IsTicked(dialog, IDC_SAVE_TO_FOLDER));
        if (SaveToFolder) SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, SaveFolder);
        // With the box off the edit is empty, so a stored folder is dropped here.
        ReadFolderEdit(dialog);
        if (SaveFolder[0] == '\0') {
            CheckDlgButton(dialog, IDC_SAVE_TO_FOLDER, BST_UNCHECKED);
            SaveToFolder = 0;
        }
        if (HideOnCapture) CheckDlgButton(dialog, IDC_HIDE_ON_CAPTURE, BST_CHECKED);
        HideOnCapture = FlagFor(IsTicked(dialog, IDC_HIDE_ON_CAPTURE));
        if (CopyToClipboard) CheckDlgButton(dialog, IDC_COPY_TO_CLIPBOARD, BST_CHECKED);
        CopyToClipboard = FlagFor(IsTicked(dialog, IDC_COPY_TO_CLIPBOARD));
    }
    // The target kept from an earlier run, while it is still there.
    if (MiscData && IsWindow(MiscData->Snapshot.TargetWnd)) ShowPick(dialog);
    SetFocus(GetDlgItem(dialog, IDC_ABOUT));
}

HWND CurrentTarget() { return MiscData ? MiscData->Snapshot.TargetWnd : nullptr; }

// Hides the dialog and waits until the screen shows what lies under it: a
// compositor may still show the dialog right after the hiding. The dialog
// keeps the activation: hiding the active window with ShowWindow hands it to
// the next enabled window, which the owner the dialog disabled is not, so
// another program's window would come to the front over the target.
void HideForCapture(HWND dialog) {
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
    WaitForComposition();
}

void ShowAfterCapture(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    SetActiveWindow(dialog);
}

void TakeScreenCapture(HWND dialog) {
    const HWND target = CurrentTarget();
    if (ScreenShot) ScreenShot->AlwaysRgb = RgbOnly != 0;
    if (SaveToFolder) {
        ReadFolderEdit(dialog);
        if (SaveFolder[0] == '\0' && !CopyToClipboard) {
            // Nothing to hide for: the save-file dialog asks for the name.
            if (ScreenShot) ScreenShot->CaptureAndSaveAs(target);
            return;
        }
    }
    if (HideOnCapture) HideForCapture(dialog);
    // With the clipboard ticked, a capture without a folder goes to the clipboard alone.
    if (ScreenShot)
        ScreenShot->CaptureToDestinations(target, SaveToFolder ? SaveFolder : nullptr, CopyToClipboard != 0, dialog);
    Sleep(kPauseAfterCaptureMs);
    ShowAfterCapture(dialog);
}

void ChooseFolder(HWND dialog) {
    std::string folder;
    if (BrowseForFolder(dialog, "Select a folder", folder)) SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, folder.c_str());
}

void Apply(HWND dialog) {
    SaveToFolder = FlagFor(IsTicked(dialog, IDC_SAVE_TO_FOLDER));
    HideOnCapture = FlagFor(IsTicked(dialog, IDC_HIDE_ON_CAPTURE));
    CopyToClipboard = FlagFor(IsTicked(dialog, IDC_COPY_TO_CLIPBOARD));
    ReadFolderEdit(dialog);
    SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, SaveFolder);
    SaveSettings();
}

void HandleCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_ABOUT: ShowAbout(dialog); break;
    case IDC_EXIT: EndDialog(dialog, 0); break;
    case IDC_TAKE_CAPTURE: TakeScreenCapture(dialog); break;
    case IDC_FLASH:
        if (MiscData && MiscData->HasTarget) MiscData->FlashTarget();
        break;
    case IDC_BROWSE: ChooseFolder(dialog); break;
    case IDC_APPLY: Apply(dialog); break;
    case IDC_SAVE_TO_FOLDER:
        SaveToFolder = FlagFor(IsTicked(dialog, IDC_SAVE_TO_FOLDER));
        if (!SaveToFolder) SetDlgItemTextA(dialog, IDC_FOLDER_EDIT, "");
        break;
    case IDC_HIDE_ON_CAPTURE: HideOnCapture = FlagFor(IsTicked(dialog, IDC_HIDE_ON_CAPTURE)); break;
    case IDC_COPY_TO_CLIPBOARD: CopyToClipboard = FlagFor(IsTicked(dialog, IDC_COPY_TO_CLIPBOARD)); break;
    default: break;  // IDOK and IDCANCEL too: Esc does not close the dialog
    }
}

void BeginDrag(HWND dialog, LPARAM clickPoint) {
    const POINT point{LOWORD(clickPoint), HIWORD(clickPoint)};
    if (ChildWindowFromPoint(dialog, point) != GetDlgItem(dialog, IDC_FINDER)) return;
    SetCapture(dialog);
    SetCursor(LoadCursorA(OwnModule(), MAKEINTRESOURCEA(IDC_DRAG)));
    ShowFinder(dialog, FinderEmptyIcon);
}

// Inverting the outline again restores what it covered; a window that drew
// meanwhile is repainted, so that none of it stays inverted.
void EraseOutline(HWND window) {
    InvertFrame(window);
    RepaintWindow(window);
}

// cppcheck-suppress constParameter ; a window handle, not a pointer to data
void FollowDrag(HWND dialog) {
    // The cursor, the window search and the outline in physical pixels, also
    // for an unaware host. Selecting the target creates no window.
    PerMonitorDpiScope physical;
    POINT cursor;
    if (!MiscData || GetCapture() != dialog || !GetCursorPos(&cursor)) return;
    MiscData->CursorPos = cursor;
    PointedWnd = WindowAtPoint(cursor);
    MiscData->CheckTargetProcess();
    const HWND framed = MiscData->Snapshot.FramedWnd;
    if (framed == PointedWnd) return;
    if (framed) EraseOutline(framed);
    MiscData->SelectTarget(PointedWnd);
    InvertFrame(MiscData->Snapshot.TargetWnd);
    ShowPick(dialog);
}

void EndDrag(HWND dialog) {
    // Nothing ever sets a drag cursor of its own; show the arrow rather than
    // no pointer at all until some window sets one.
    const HCURSOR cursor = MiscData ? MiscData->DragCursor : nullptr;
    SetCursor(cursor ? cursor : LoadCursorA(nullptr, IDC_ARROW));
    ShowFinder(dialog, FinderIcon);
    if (!MiscData) return;
    if (MiscData->Snapshot.TargetWnd) EraseOutline(MiscData->Snapshot.FramedWnd);
    MiscData->Snapshot.FramedWnd = nullptr;
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OpenDialog = dialog;
        InitDialog(dialog);
        return FALSE;  // the focus is already on "About"
    case WM_COMMAND: HandleCommand(dialog, LOWORD(wParam)); return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_LBUTTONDOWN: BeginDrag(dialog, lParam); return TRUE;
    case WM_MOUSEMOVE: FollowDrag(dialog); return TRUE;
    case WM_LBUTTONUP:
        if (GetCapture() == dialog) ReleaseCapture();
        return TRUE;
    case WM_CAPTURECHANGED: EndDrag(dialog); return TRUE;
    case WM_DESTROY: {
        HWND open = dialog;
        OpenDialog.compare_exchange_strong(open, nullptr);
        return FALSE;
    }
    default: return FALSE;
    }
}

}  // namespace

HWND OpenCaptureDialog() {
    const HWND open = OpenDialog;
    return open && IsWindow(open) ? open : nullptr;
}

INT_PTR CALLBACK CaptureDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    SaveDialogOwner = dialog;
    try {
        return HandleMessage(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}
