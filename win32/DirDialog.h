#pragma once

#include <windows.h>

namespace eitool {
class TDirForm;
}

namespace eitool::win32 {

// The controls of the directory dialog. Ok and Cancel have identifiers of their own, so that
// Enter and Esc, which a dialog turns into IDOK and IDCANCEL, do nothing there.
enum DirDialogControl {
    ddScanDir = 101,
    ddCallDialog = 102,
    ddFilter = 103,
    ddBOk = 104,
    ddBCancel = 105,
};

// The directory dialog "Directory to add", shown modally over owner and drawn from its form
// model: edits and clicks go to the model's handlers and the controls show what the model then
// holds. Closing the window is Cancel. True when it closed with Ok.
bool ShowDirDialog(HWND owner, TDirForm& form);

} // namespace eitool::win32
