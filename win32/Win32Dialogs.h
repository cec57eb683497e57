#pragma once

#include "app/Dialogs.h"

#include <exception>
#include <new>
#include <string>
#include <windows.h>

namespace eitool::win32 {

// The caption of the boxes that show a failure.
constexpr const char* kFailureCaption = "Extract\\Insert Tool";

// The window's dialogs, shown as the system's own, owned by the main window: the common file
// dialogs, the folder picker, the directory dialog and message boxes.
class Win32Dialogs : public Dialogs {
public:
    void SetOwner(HWND owner) { m_owner = owner; }

    bool OpenFiles(FileDialog& dialog) override;
    bool SaveFile(FileDialog& dialog) override;
    // The system's folder picker: a typed folder that does not exist is created with its missing
    // parents after a question; No shows the picker again.
    bool SelectDirectory(const std::string& title, std::string& directory) override;
    bool ShowDirForm(TDirForm& form) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption,
                  DefaultAnswer defaultAnswer) override;

private:
    HWND m_owner = nullptr;
};

// The system's dialogs for a run nobody watches (the screenshots, the benchmark): the picker
// answers with target, made when missing, and no message box is shown.
class UnattendedDialogs : public Win32Dialogs {
public:
    std::string target;
    bool SelectDirectory(const std::string& title, std::string& directory) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
};

// Shows the text of a failure that ended an action; the program goes on.
void ShowFailure(HWND owner, const char* text);

// Runs action; an exception it throws is shown in a message box instead of leaving the window
// procedure, so the program goes on.
template <typename Action> void Guarded(HWND owner, Action&& action) {
    try {
        action();
    } catch (const std::bad_alloc&) {
        ShowFailure(owner, "Out of memory");
    } catch (const std::exception& failure) {
        ShowFailure(owner, failure.what());
    }
}

} // namespace eitool::win32
