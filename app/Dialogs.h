#pragma once

#include "common/TextLines.h"

#include <string>

namespace eitool {

class TDirForm;

enum MessageIcon { miInformation, miWarning, miError };

// The answer of a question that Enter gives.
enum class DefaultAnswer { Yes, No };

// Options of the open and save dialogs, combined as bits.
enum FileDialogOption : unsigned {
    ofAllowMultiSelect = 1u << 0, // several files may be chosen
    ofPathMustExist = 1u << 1,
    ofFileMustExist = 1u << 2,
    ofHideReadOnly = 1u << 3,    // no read-only box
    ofOverwritePrompt = 1u << 4, // asks before an existing file is overwritten
    ofEnableSizing = 1u << 5,    // the dialog can be resized
};

// An open or save dialog as the form sets it up, and what the user chose in it. The form keeps
// each dialog from one showing to the next, so the chosen file type is offered again.
struct FileDialog {
    std::string title;
    // Pairs of a description and a mask ("*.bmpx;*.tgax"), all separated by "|".
    std::string filter;
    std::string defaultExt;
    unsigned options = 0;
    // The chosen file type, counted from 1 in the order of the filter.
    int filterIndex = 1;
    // Open dialogs: the chosen files, full paths, in the order the dialog gives them.
    TextLines files;
    // Save dialogs: the chosen file, full path.
    std::string fileName;
};

// The dialogs the form models ask for; the window shows real ones, the command line and the
// demo answer them from values given in advance, tests script them. Each returns whether the
// user confirmed.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An open dialog; on confirmation files and filterIndex hold the choice.
    virtual bool OpenFiles(FileDialog& dialog) = 0;
    // A save dialog; on confirmation fileName holds the choice.
    virtual bool SaveFile(FileDialog& dialog) = 0;

    // The directory picker, started at directory, without a help button. The user may type a
    // directory that does not exist: it is created with its missing parents once the user agreed
    // to "The specified directory does not exist. Create it?". On confirmation directory holds
    // the chosen path.
    virtual bool SelectDirectory(const std::string& title, std::string& directory) = 0;

    // The directory dialog, shown modally after its FormShow has run. The front end forwards the
    // user's edits and clicks to the form's handlers; true when it closed with Ok (which only an
    // enabled BOk can do), false for Cancel or a closed window.
    virtual bool ShowDirForm(TDirForm& form) = 0;

    // A message box with one OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;

    // A message box with Yes and No buttons, the default one (what Enter presses) given; true
    // for Yes. Closing it answers No.
    virtual bool AskYesNo(const std::string& text, const std::string& caption,
                          DefaultAnswer defaultAnswer) = 0;
};

} // namespace eitool
