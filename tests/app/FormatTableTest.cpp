#include "app/FormatTable.h"

#include <gtest/gtest.h>

namespace eitool {
namespace {

TEST(FormatTable, DialogTablesAndFilterAreDerivedFromTheRows) {
    EXPECT_EQ(OpenDialogFilter(),
              "Data Packs (*.tre)|*.tre|Extended Images (*.bmpx,*.tgax)|*.bmpx;*.tgax|"
              "Fints (*.fnt)|*.fnt|Project list files (*.lst)|*.lst|Log files (*.log)|*.log");
    EXPECT_EQ(KindByType, (std::array<std::uint8_t, 5>{1, 2, 3, 5, 4}));
    EXPECT_EQ(FormatTags, (std::array<std::string_view, 5>{"TRE", "BTE", "FNT", "", ""}));
    EXPECT_EQ(RowOfType(0), nullptr);
    EXPECT_EQ(RowOfType(6), nullptr);
    EXPECT_EQ(RowOfType(kTypeLogs)->kind, kKindLogs);
}

TEST(FormatTable, TagsAndKindsLookEachOtherUp) {
    const std::pair<std::uint8_t, std::string_view> tagOfKind[] = {
        {kKindDataPacks, "TRE"}, {kKindExtendedImages, "BTE"}, {kKindFonts, "FNT"},
        {kKindLogs, ""},         {kKindProjectList, ""},       {0, ""},
        {kKindNone, ""}};
    for (const auto& [kind, tag] : tagOfKind) {
        EXPECT_EQ(TagOfKind(kind), tag) << int(kind);
    }
    const std::pair<std::string_view, std::uint8_t> kindOfTag[] = {
        {"TRE", kKindDataPacks}, {"BTE", kKindExtendedImages}, {"FNT", kKindFonts},
        {"", kKindNone},         {"tre", kKindNone},           {"XYZ", kKindNone}};
    for (const auto& [tag, kind] : kindOfTag) {
        EXPECT_EQ(KindOfTag(tag), kind) << tag;
    }
}

TEST(FormatTable, TypeOfFilesIsTheOneTypeAllNamesMatch) {
    const std::pair<TextLines, int> cases[] = {
        {{"/x/a.tre", "/y/B.TRE"}, kTypeDataPacks},
        {{"/x/a.bmpx", "/x/b.tgax"}, kTypeExtendedImages},
        {{"/x/f.fnt"}, kTypeFonts},
        {{"/x/p.lst"}, kTypeProjectList},
        {{"/x/result.log"}, kTypeLogs},
        {{"/x/a.tre", "/x/f.fnt"}, 0}, // two types
        {{"/x/a.tre", "/x/notes.txt"}, 0},
        {{"/x.tre/dir"}, 0}, // the directory part plays no part
        {{}, 0},
    };
    for (const auto& [paths, type] : cases) {
        EXPECT_EQ(TypeOfFiles(paths), type) << (paths.empty() ? "" : paths.back());
    }
}

TEST(FormatTable, ExtractedTypesHaveAnExtractorAndAnInserterAndTheOthersTheReplay) {
    for (const FormatRow& row : kFormatTable) {
        EXPECT_EQ(IsReplayed(row), row.tag.empty()) << row.typeName;
        EXPECT_EQ(row.inserter == nullptr, row.tag.empty()) << row.typeName;
    }
}

} // namespace
} // namespace eitool
