#include "win32/Win32Dialogs.h"

#include "common/FileSystem.h"
#include "common/RunError.h"
#include "win32/DirDialog.h"

#include <commdlg.h>
#include <cstring>
#include <optional>
#include <shobjidl.h>
#include <vector>

namespace eitool::win32 {

namespace {

// Room for the names of many chosen files.
constexpr std::size_t kFileBufferSize = 1u << 20;

// The common dialogs' filter: the pairs of "Data Packs (*.tre)|*.tre|..." each ended by NUL, the
// whole by a second NUL.
std::string SystemFilter(const std::string& filter) {
    std::string converted = filter;
    for (char& c : converted) {
        if (c == '|') {
            c = '\0';
        }
    }
    converted.push_back('\0');
    converted.push_back('\0');
    return converted;
}

DWORD FlagsOf(unsigned options) {
    DWORD flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
    if ((options & ofAllowMultiSelect) != 0) {
        flags |= OFN_ALLOWMULTISELECT;
    }
    if ((options & ofPathMustExist) != 0) {
        flags |= OFN_PATHMUSTEXIST;
    }
    if ((options & ofFileMustExist) != 0) {
        flags |= OFN_FILEMUSTEXIST;
    }
    if ((options & ofHideReadOnly) != 0) {
        flags |= OFN_HIDEREADONLY;
    }
    if ((options & ofOverwritePrompt) != 0) {
        flags |= OFN_OVERWRITEPROMPT;
    }
    if ((options & ofEnableSizing) != 0) {
        flags |= OFN_ENABLESIZING;
    }
    return flags;
}

// A dialog as the form describes it; buffer receives the chosen names.
OPENFILENAMEA Prepare(HWND owner, const FileDialog& dialog, const std::string& filter,
                      std::vector<char>& buffer) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(dialog.filterIndex);
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = dialog.title.c_str();
    // "*" offers every extension; it is no extension to add to a typed name.
    ofn.lpstrDefExt =
        dialog.defaultExt.empty() || dialog.defaultExt == "*" ? nullptr : dialog.defaultExt.c_str();
    ofn.Flags = FlagsOf(dialog.options);
    return ofn;
}

// The chosen files: one full path, or a directory followed by names, each ended by NUL.
TextLines ChosenFiles(const std::vector<char>& buffer, WORD fileOffset) {
    TextLines files;
    const char* at = buffer.data();
    if (fileOffset == 0 || at[fileOffset - 1] != '\0') {
        files.emplace_back(at);
        return files;
    }
    std::string directory(at);
    if (!directory.empty() && directory.back() != '\\') {
        directory += '\\';
    }
    for (at += fileOffset; *at != '\0'; at += std::strlen(at) + 1) {
        files.push_back(directory + at);
    }
    return files;
}

UINT IconFlag(MessageIcon icon) {
    switch (icon) {
    case miWarning:
        return MB_ICONWARNING;
    case miError:
        return MB_ICONERROR;
    case miInformation:
        break;
    }
    return MB_ICONINFORMATION;
}

// The folder picker once: the chosen path in the ANSI code page, or none when cancelled.
bool PickFolder(HWND owner, const std::string& title, std::string& directory) {
    IFileOpenDialog* picker = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileOpenDialog, reinterpret_cast<void**>(&picker)))) {
        throw RunError(title + ": the system's folder picker is not available");
    }
    FILEOPENDIALOGOPTIONS options = 0;
    picker->GetOptions(&options);
    // No FOS_PATHMUSTEXIST: a typed folder that does not exist comes back, to be created.
    options &= ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST);
    picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
    picker->SetTitle(WidePath(title).c_str());
    if (!directory.empty() && IsDirectory(directory)) {
        IShellItem* start = nullptr;
        if (SUCCEEDED(SHCreateItemFromParsingName(WidePath(directory).c_str(), nullptr,
                                                  IID_IShellItem,
                                                  reinterpret_cast<void**>(&start)))) {
            picker->SetFolder(start);
            start->Release();
        }
    }
    bool chosen = false;
    IShellItem* result = nullptr;
    if (SUCCEEDED(picker->Show(owner)) && SUCCEEDED(picker->GetResult(&result))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            directory = AnsiPath(path);
            chosen = true;
            CoTaskMemFree(path);
        }
        result->Release();
    }
    picker->Release();
    return chosen;
}

} // namespace

bool Win32Dialogs::OpenFiles(FileDialog& dialog) {
    const std::string filter = SystemFilter(dialog.filter);
    std::vector<char> buffer(kFileBufferSize, '\0');
    OPENFILENAMEA ofn = Prepare(m_owner, dialog, filter, buffer);
    if (!GetOpenFileNameA(&ofn)) {
        return false;
    }
    dialog.files = ChosenFiles(buffer, ofn.nFileOffset);
    dialog.filterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

bool Win32Dialogs::SaveFile(FileDialog& dialog) {
    const std::string filter = SystemFilter(dialog.filter);
    std::vector<char> buffer(kFileBufferSize, '\0');
    if (dialog.fileName.size() < buffer.size()) {
        std::copy(dialog.fileName.begin(), dialog.fileName.end(), buffer.begin());
    }
    OPENFILENAMEA ofn = Prepare(m_owner, dialog, filter, buffer);
    if (!GetSaveFileNameA(&ofn)) {
        return false;
    }
    dialog.fileName = buffer.data();
    dialog.filterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

bool Win32Dialogs::SelectDirectory(const std::string& title, std::string& directory) {
    std::string chosen = directory;
    while (PickFolder(m_owner, title, chosen)) {
        if (!IsDirectory(chosen)) {
            if (!AskYesNo("The specified directory does not exist. Create it?", title,
                          DefaultAnswer::Yes)) {
                continue;
            }
            if (const std::optional<std::string> failure = CreateDirectoriesFailure(chosen)) {
                throw FileCreateError(chosen, "cannot create the directory (" + *failure + ")");
            }
        }
        directory = chosen;
        return true;
    }
    return false;
}

bool Win32Dialogs::ShowDirForm(TDirForm& form) {
    return ShowDirDialog(m_owner, form);
}

void Win32Dialogs::ShowMessage(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
    MessageBoxA(m_owner, text.c_str(), caption.c_str(), MB_OK | IconFlag(icon));
}

bool Win32Dialogs::AskYesNo(const std::string& text, const std::string& caption,
                            DefaultAnswer defaultAnswer) {
    const UINT flags = MB_YESNO | MB_ICONQUESTION |
                       (defaultAnswer == DefaultAnswer::No ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
    return MessageBoxA(m_owner, text.c_str(), caption.c_str(), flags) == IDYES;
}

void ShowFailure(HWND owner, const char* text) {
    MessageBoxA(owner, text, kFailureCaption, MB_OK | MB_ICONERROR);
}

bool UnattendedDialogs::SelectDirectory(const std::string&, std::string& directory) {
    CreateDirectories(target);
    directory = target;
    return true;
}

void UnattendedDialogs::ShowMessage(const std::string&, const std::string&, MessageIcon) {}

} // namespace eitool::win32
