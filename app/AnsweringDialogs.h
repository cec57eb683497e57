#pragma once

#include "app/Dialogs.h"
#include "app/FormatTable.h"

#include <optional>
#include <string>

namespace eitool {

// The open dialog's answer: these files, of the file type at filterIndex (1 to 5).
struct OpenAnswer {
    TextLines files;
    int filterIndex = kTypeDataPacks;
};

// The directory dialog's answer: scanDir typed into ScanDir and the type at typeIndex (0 to 4)
// chosen in Filter, then Ok.
struct DirFormAnswer {
    std::string scanDir;
    int typeIndex = kTypeIndexDataPacks;
};

// Dialogs answered from values given in advance, for the command line and the demo: a dialog
// with an answer confirms it, one without is cancelled, message boxes show nothing and questions
// get the answer yes. The
// picker's directory is created with its missing parents, as the real picker does once the user
// agreed.
class AnsweringDialogs : public Dialogs {
public:
    std::optional<OpenAnswer> open;
    std::optional<std::string> save;
    std::optional<std::string> picker;
    std::optional<DirFormAnswer> dirForm;
    // The answer to every yes/no question.
    bool yes = false;

    bool OpenFiles(FileDialog& dialog) override;
    bool SaveFile(FileDialog& dialog) override;
    // Throws FileCreateError when the directory cannot be created.
    bool SelectDirectory(const std::string& title, std::string& directory) override;
    // Closes with Ok only where BOk is enabled once the answer is in.
    bool ShowDirForm(TDirForm& form) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption,
                  DefaultAnswer defaultAnswer) override;
};

} // namespace eitool
