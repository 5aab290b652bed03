#pragma once
// Answers the save-file dialog from a second thread.
#include <windows.h>
#include <memory>
#include <string>

struct SaveDialogSeen {
    bool appeared = false;
    bool ownedByOwner = false;
    int filterCount = -1;
    std::string filter;  // the description of the first file type
};

// Starts answering the next save-file dialog owned by `owner`: types the
// name and presses Save, or presses Cancel when the name is empty. Meanwhile
// a folder of its own is the current directory, as a host's would be, and
// Result() fails the test if the dialog left another one current.
class SaveDialogAnswer {
public:
    SaveDialogAnswer(HWND owner, std::string name);
    ~SaveDialogAnswer();
    SaveDialogAnswer(const SaveDialogAnswer&) = delete;
    SaveDialogAnswer& operator=(const SaveDialogAnswer&) = delete;
    // Waits for the driver; what it saw of the dialog.
    SaveDialogSeen Result();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Types a name into an open save-file dialog and presses Save; true once
// the dialog has gone.
bool SaveAs(HWND save, const std::string& name);
