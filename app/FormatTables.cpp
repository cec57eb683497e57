#include "app/FormatTables.h"

#include "run/RunState.h"

namespace eitool {

std::string_view TagOfKind(std::uint8_t kind) {
    for (std::size_t p = 0; p < KindByType.size(); ++p) {
        if (KindByType[p] == kind) {
            return FormatTags[p];
        }
    }
    return {};
}

std::uint8_t KindOfTag(std::string_view tag) {
    for (std::size_t p = 0; p < FormatTags.size(); ++p) {
        if (!FormatTags[p].empty() && FormatTags[p] == tag) {
            return KindByType[p];
        }
    }
    return kKindNone;
}

} // namespace eitool
