#include "app/AnsweringDialogs.h"

#include "app/TDirForm.h"
#include "common/FileSystem.h"
#include "common/RunError.h"

namespace eitool {

bool AnsweringDialogs::OpenFiles(FileDialog& dialog) {
    if (!open) {
        return false;
    }
    dialog.files = open->files;
    dialog.filterIndex = open->filterIndex;
    return true;
}

bool AnsweringDialogs::SaveFile(FileDialog& dialog) {
    if (!save) {
        return false;
    }
    dialog.fileName = *save;
    return true;
}

bool AnsweringDialogs::SelectDirectory(const std::string&, std::string& directory) {
    if (!picker) {
        return false;
    }
    if (const std::optional<std::string> failure = CreateDirectoriesFailure(*picker)) {
        throw FileCreateError(*picker, "cannot create the target directory (" + *failure + ")");
    }
    directory = *picker;
    return true;
}

bool AnsweringDialogs::ShowDirForm(TDirForm& form) {
    if (!dirForm) {
        return false;
    }
    form.SetScanDir(dirForm->scanDir);
    form.ChooseFilter(dirForm->typeIndex);
    return form.BOkEnabled();
}

void AnsweringDialogs::ShowMessage(const std::string&, const std::string&, MessageIcon) {}

bool AnsweringDialogs::AskYesNo(const std::string&, const std::string&, DefaultAnswer) {
    return yes;
}

} // namespace eitool
