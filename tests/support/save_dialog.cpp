#include "tests/support/save_dialog.h"

#include "tests/support/dialog_driver.h"
#include "tests/support/temp_dir.h"

#include <dlgs.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The box that takes the file's name, in the old dialog or the new.
HWND NameBox(HWND save) {
    HWND box = GetDlgItem(save, cmb13);
    return box ? box : GetDlgItem(save, edt1);
}

void Type(HWND box, const std::string& name, DWORD timeoutMs) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), SMTO_ABORTIFHUNG, timeoutMs,
                        &ignored);
}

}  // namespace

struct SaveDialogAnswer::State {
    CurrentFolder hostFolder;
    SaveDialogSeen seen;
    std::unique_ptr<DialogDriver> driver;
};

SaveDialogAnswer::SaveDialogAnswer(HWND owner, std::string name) : state_(std::make_unique<State>()) {
    State* state = state_.get();
    state->driver = std::make_unique<DialogDriver>([state, owner, name] {
        HWND dialog = WaitForAnyDialog(kShellDialogMs);
        if (!dialog) return;
        state->seen.appeared = true;
        state->seen.ownedByOwner = GetWindow(dialog, GW_OWNER) == owner;
        if (HWND types = GetDlgItem(dialog, cmb1)) {
            DWORD_PTR count = 0;
            SendMessageTimeoutA(types, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &count);
            state->seen.filterCount = int(count);
            char text[256] = {};
            DWORD_PTR ignored;
            SendMessageTimeoutA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kAnswerMs,
                                &ignored);
            state->seen.filter = text;
        }
        HWND nameBox = NameBox(dialog);
        if (name.empty() || !nameBox) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        Type(nameBox, name, kAnswerMs);
        ClickButton(dialog, IDOK);
        // A dialog still open after a while (a question, a refused name) is cancelled.
        for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(100);
        if (IsWindow(dialog)) {
            if (HWND question = WaitForAnyDialog(100)) PostMessageA(question, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
}

SaveDialogAnswer::~SaveDialogAnswer() = default;

SaveDialogSeen SaveDialogAnswer::Result() {
    state_->driver->Finish();
    EXPECT_TRUE(state_->hostFolder.StillCurrent())
        << "the save-file dialog made " << CurrentDirectory() << " current instead of " << state_->hostFolder.path();
    return state_->seen;
}

bool SaveAs(HWND save, const std::string& name) {
    HWND box = NameBox(save);
    if (!box) return false;
    Type(box, name, kStepMs);
    ClickButton(save, IDOK);
    return WaitUntil([&] { return !IsWindow(save); });
}
