#pragma once

#include "app/LogReplay.h"
#include "common/TextLines.h"
#include "formats/DataPack.h"
#include "formats/Font.h"
#include "images/ExtendedImage.h"
#include "run/RunContext.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace eitool {

// The file types of the open dialog by their position in its filter (its FilterIndex, from 1).
inline constexpr int kTypeDataPacks = 1;
inline constexpr int kTypeExtendedImages = 2;
inline constexpr int kTypeFonts = 3;
inline constexpr int kTypeProjectList = 4;
inline constexpr int kTypeLogs = 5;

// The same file types as the directory dialog counts them (its TypeIndex, from 0).
inline constexpr int kTypeIndexDataPacks = kTypeDataPacks - 1;
inline constexpr int kTypeIndexExtendedImages = kTypeExtendedImages - 1;
inline constexpr int kTypeIndexFonts = kTypeFonts - 1;
inline constexpr int kTypeIndexLogs = kTypeLogs - 1;

// What the batch run calls for every entry of a list of this kind: an extractor, or the replay.
using FileHandler = void (*)(RunContext& run, const std::string& path);
// What the replay calls for a "#Source:" line under this format's tag: see the inserter contract
// in app/LogReplay.h.
using Inserter = std::int32_t (*)(RunContext& run, const std::string& outputPath,
                                  std::int32_t firstLine);
// Whether an open source holds this format at all; asked before a block with entry lines goes to
// its inserter.
using FormatCheck = bool (*)(FileStream& file);

// One file type of the open dialog, with everything that hangs on it.
struct FormatRow {
    int type;                     // position in the open dialog, from 1
    std::uint8_t kind;            // the input kind of a list of these files
    std::string_view description; // file type text of the open dialog
    std::string_view mask;        // its file-name patterns, separated by ";"
    std::string_view tag;         // the "#Format:" tag; empty for logs and project lists
    std::string_view typeName;    // the command line's --type name
    FileHandler handler;
    Inserter inserter;       // null where no tag leads to it
    FormatCheck holdsFormat; // null where the inserter refuses a foreign file itself
    // The entry line of a block, counted from its first, that names no file (the font's
    // placement line), or -1.
    int lineWithoutPath;
};

// The five file types, in the order of the open dialog.
// NOTE: positions 4 and 5 have kinds 5 and 4: a project list is kind 5, a log kind 4.
inline constexpr std::array<FormatRow, 5> kFormatTable = {{
    {kTypeDataPacks, kKindDataPacks, "Data Packs (*.tre)", "*.tre", "TRE", "tre", &ExtractDataPack,
     &InsertDataPack, &HoldsDataPack, -1},
    {kTypeExtendedImages, kKindExtendedImages, "Extended Images (*.bmpx,*.tgax)", "*.bmpx;*.tgax",
     "BTE", "img", &ExtractExtendedImage, &InsertExtendedImage, &HoldsExtendedImage, -1},
    {kTypeFonts, kKindFonts, "Fints (*.fnt)", "*.fnt", "FNT", "fnt", &ExtractFont, &InsertFont,
     nullptr, 1},
    {kTypeProjectList, kKindProjectList, "Project list files (*.lst)", "*.lst", "", "lst",
     &ReplayListedLog, nullptr, nullptr, -1},
    {kTypeLogs, kKindLogs, "Log files (*.log)", "*.log", "", "log", &ReplayLog, nullptr, nullptr,
     -1},
}};

static_assert([] {
    for (std::size_t i = 0; i < kFormatTable.size(); ++i) {
        if (kFormatTable[i].type != static_cast<int>(i) + 1) {
            return false;
        }
    }
    return true;
}());

// The input kind of each file type; indexed by position - 1.
inline constexpr std::array<std::uint8_t, kFormatTable.size()> KindByType = [] {
    std::array<std::uint8_t, kFormatTable.size()> kinds{};
    for (std::size_t i = 0; i < kFormatTable.size(); ++i) {
        kinds[i] = kFormatTable[i].kind;
    }
    return kinds;
}();

// The format tag of each file type; indexed by position - 1.
inline constexpr std::array<std::string_view, kFormatTable.size()> FormatTags = [] {
    std::array<std::string_view, kFormatTable.size()> tags{};
    for (std::size_t i = 0; i < kFormatTable.size(); ++i) {
        tags[i] = kFormatTable[i].tag;
    }
    return tags;
}();

// Whether files of this row are replayed as logs (insertion) rather than extracted.
constexpr bool IsReplayed(const FormatRow& row) {
    return row.handler == &ReplayLog || row.handler == &ReplayListedLog;
}

// The row of an open-dialog position (1 to 5); null for any other value.
const FormatRow* RowOfType(int type);
// The row whose kind is kind; null for 0, 6 and unknown kinds.
const FormatRow* RowOfKind(std::uint8_t kind);

// The open-dialog position whose mask matches the path's file name, or 0 for none.
int TypeOfFile(const std::string& path);
// The open-dialog position whose mask matches the file names of every path, or 0 when a path
// matches none or the paths match different types (and for no paths).
int TypeOfFiles(const TextLines& paths);

// The open dialog's filter: every description and mask, all separated by "|".
std::string OpenDialogFilter();

// The format tag of an input kind: the tag at the position whose kind it is ("" for 4 and 5 and
// for unknown kinds).
std::string_view TagOfKind(std::uint8_t kind);

// The inserter kind of a "#Format:" tag: the kind at the first position whose tag equals it, or 6
// (none). An empty tag never matches.
std::uint8_t KindOfTag(std::string_view tag);

} // namespace eitool
