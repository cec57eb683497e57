#pragma once

#include "app/Dialogs.h"

#include <string>
#include <vector>

namespace eitool {

// The directory dialog without a toolkit ("Directory to add"): the user types or picks a
// directory into ScanDir and chooses a file type in Filter; the main window reads ScanDir,
// TypeIndex and TypeMask after it closed with Ok. The window draws it and forwards edits and
// clicks to the handlers.
class TDirForm {
public:
    // selectLog is the main window's open dialog, whose filter the dialog offers.
    TDirForm(const FileDialog& selectLog, Dialogs& dialogs);

    // Runs FormShow and has the front end show the dialog modally; true when it closed with Ok.
    bool ShowModal();

    // Handlers.
    void FormShow();
    void ScanDirChange();
    void CallDialogClick();
    void FilterChange();

    // The edit box ScanDir. Setting its text runs ScanDirChange, as typing does.
    const std::string& ScanDir() const { return m_scanDir; }
    void SetScanDir(const std::string& text);

    // The drop-down list Filter: its items and the chosen one (-1 for none). Choosing an item
    // runs FilterChange, as picking it does.
    const std::vector<std::string>& Filter() const { return m_filter; }
    int FilterItemIndex() const { return m_filterItemIndex; }
    void ChooseFilter(int itemIndex);

    bool BOkEnabled() const { return m_bOkEnabled; }

    const std::string& FilterText() const { return m_filterText; }
    // The chosen file type, counted from 0 in the order of FilterText.
    int TypeIndex() const { return m_typeIndex; }
    // The chosen type's patterns, separated by ";".
    const std::string& TypeMask() const { return m_typeMask; }

private:
    const FileDialog& m_selectLog;
    Dialogs& m_dialogs;
    std::string m_scanDir;
    std::vector<std::string> m_filter;
    int m_filterItemIndex = -1;
    bool m_bOkEnabled = false;
    std::string m_filterText;
    int m_typeIndex = 0;
    std::string m_typeMask;
};

} // namespace eitool
