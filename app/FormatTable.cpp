#include "app/FormatTable.h"

#include "common/Paths.h"

namespace eitool {

const FormatRow* RowOfType(int type) {
    if (type < 1 || type > static_cast<int>(kFormatTable.size())) {
        return nullptr;
    }
    return &kFormatTable[static_cast<std::size_t>(type - 1)];
}

const FormatRow* RowOfKind(std::uint8_t kind) {
    for (const FormatRow& row : kFormatTable) {
        if (row.kind == kind) {
            return &row;
        }
    }
    return nullptr;
}

int TypeOfFile(const std::string& path) {
    const std::string name = FileNamePart(path);
    for (const FormatRow& row : kFormatTable) {
        if (MatchesMask(name, row.mask)) {
            return row.type;
        }
    }
    return 0;
}

int TypeOfFiles(const TextLines& paths) {
    int type = 0;
    for (const std::string& path : paths) {
        const int matched = TypeOfFile(path);
        if (matched == 0 || (type != 0 && matched != type)) {
            return 0;
        }
        type = matched;
    }
    return type;
}

std::string OpenDialogFilter() {
    std::string filter;
    for (const FormatRow& row : kFormatTable) {
        filter += filter.empty() ? "" : "|";
        filter += row.description;
        filter += '|';
        filter += row.mask;
    }
    return filter;
}

std::string_view TagOfKind(std::uint8_t kind) {
    const FormatRow* row = RowOfKind(kind);
    return row == nullptr ? std::string_view() : row->tag;
}

std::uint8_t KindOfTag(std::string_view tag) {
    for (const FormatRow& row : kFormatTable) {
        if (!row.tag.empty() && row.tag == tag) {
            return row.kind;
        }
    }
    return kKindNone;
}

} // namespace eitool
