#include "app/TDirForm.h"

#include "common/FileSystem.h"

#include <string_view>
#include <utility>

namespace eitool {

namespace {

struct FilterPair {
    std::string description;
    std::string mask;
};

// The text before the next "|" of rest, which then loses it and its "|" (or all of it when no
// "|" follows).
std::string TakeField(std::string_view& rest) {
    const std::size_t bar = rest.find('|');
    const std::string field(rest.substr(0, bar));
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    return field;
}

// The pairs of a filter, walked from the front until nothing is left. A description without a
// mask after it gets an empty mask.
std::vector<FilterPair> FilterPairs(std::string_view filter) {
    std::vector<FilterPair> pairs;
    while (!filter.empty()) {
        FilterPair pair;
        pair.description = TakeField(filter);
        pair.mask = TakeField(filter);
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

} // namespace

TDirForm::TDirForm(const FileDialog& selectLog, Dialogs& dialogs)
    : m_selectLog(selectLog), m_dialogs(dialogs) {}

bool TDirForm::ShowModal() {
    FormShow();
    return m_dialogs.ShowDirForm(*this);
}

// The type choice of an earlier showing is not kept; the text of ScanDir is.
void TDirForm::FormShow() {
    m_filterText = m_selectLog.filter;
    m_filter.clear();
    m_filterItemIndex = -1;
    const std::vector<FilterPair> pairs = FilterPairs(m_filterText);
    for (const FilterPair& pair : pairs) {
        m_filter.push_back(pair.description);
    }
    if (!pairs.empty()) {
        m_typeMask = pairs.front().mask;
        m_filterItemIndex = 0;
        m_typeIndex = 0;
    }
}

// Whether the text names a directory plays no part.
void TDirForm::ScanDirChange() {
    m_bOkEnabled = !m_scanDir.empty();
}

void TDirForm::CallDialogClick() {
    std::string directory = IsDirectory(m_scanDir) ? m_scanDir : CurrentDirectory();
    if (m_dialogs.SelectDirectory("Select Directory", directory)) {
        SetScanDir(directory);
    }
}

void TDirForm::FilterChange() {
    const std::vector<FilterPair> pairs = FilterPairs(m_filterText);
    if (m_filterItemIndex < 0 || m_filterItemIndex >= static_cast<int>(pairs.size())) {
        return;
    }
    m_typeIndex = m_filterItemIndex;
    m_typeMask = pairs[static_cast<std::size_t>(m_filterItemIndex)].mask;
}

void TDirForm::SetScanDir(const std::string& text) {
    m_scanDir = text;
    ScanDirChange();
}

void TDirForm::ChooseFilter(int itemIndex) {
    if (itemIndex < 0 || itemIndex >= static_cast<int>(m_filter.size())) {
        return; // a drop-down list offers only its items
    }
    m_filterItemIndex = itemIndex;
    FilterChange();
}

} // namespace eitool
