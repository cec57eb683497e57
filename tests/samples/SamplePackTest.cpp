#include "samples/SamplePack.h"

#include "common/TextLines.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace eitool::samples {
namespace {

std::string MemberText(const std::vector<std::uint8_t>& pack, const PackEntry& entry) {
    return std::string(pack.begin() + entry.offset, pack.begin() + entry.offset + entry.size);
}

TEST(SamplePack, NamesListFollowsTheOffsetOrderWithTies) {
    std::vector<PackMember> members(kNamesListIndex + 4);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i);
        members[i].data = {static_cast<std::uint8_t>(i)};
    }
    // Members of one byte each lie at X, X + 1, ...; the last three tie with m0 and m1.
    const std::uint32_t x = 4 + 16 * static_cast<std::uint32_t>(members.size());
    members[2534].offset = x + 1;
    members[2535].offset = x + 1;
    members[2536].offset = x;

    const auto pack = BuildPack(members);
    const auto entries = ReadPackDirectory(pack);
    ASSERT_EQ(entries.size(), members.size());
    const TextLines names = SplitTextLines(MemberText(pack, entries[kNamesListIndex]));
    ASSERT_EQ(names.size(), members.size());
    // The swap that brings m2536 forward moves m1 behind its two ties.
    const TextLines expected = {"m0", "m2536", "m2534", "m2535", "m1", "m2"};
    EXPECT_EQ(TextLines(names.begin(), names.begin() + 6), expected);
    EXPECT_EQ(MemberText(pack, entries[kNamesListIndex]).substr(0, 11), "m0\r\nm2536\r\n");
}

TEST(SamplePack, RealisticMembersAreDeterministicAndVaried) {
    const auto a = MakeRealisticMembers(3000, 7, 64);
    const auto b = MakeRealisticMembers(3000, 7, 64);
    ASSERT_EQ(a.size(), 3000u);
    std::size_t empty = 0;
    std::set<std::string> extensions;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].data, b[i].data);
        if (i != kNamesListIndex && a[i].data.empty()) {
            ++empty;
        }
        const auto dot = a[i].name.rfind('.');
        extensions.insert(dot == std::string::npos ? "" : a[i].name.substr(dot));
    }
    EXPECT_GT(empty, 30u);
    EXPECT_LT(empty, 180u);
    EXPECT_GE(extensions.size(), 6u);
    EXPECT_NE(MakeRealisticMembers(3000, 8, 64)[0].data, a[0].data);

    // Laid out one after another behind the directory, without overlaps.
    const auto pack = BuildPack(a);
    const auto entries = ReadPackDirectory(pack);
    std::uint64_t next = 4 + 16 * entries.size();
    for (const auto& entry : entries) {
        if (entry.size != 0) {
            EXPECT_EQ(entry.offset, next);
            next = entry.offset + std::uint64_t{entry.size};
        }
    }
    EXPECT_EQ(next, pack.size());
}

TEST(SamplePack, TextMembersAreLinesOfPrintableTextEndedByCrLf) {
    const auto members = MakeRealisticMembers(3000, 7, 200);
    std::size_t texts = 0;
    std::size_t textBytes = 0;
    std::size_t binaries = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string text(members[i].data.begin(), members[i].data.end());
        const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= ' ' && c <= '~') || c == '\r' || c == '\n';
        });
        if (!members[i].name.ends_with(".txt") || i == kNamesListIndex || text.empty()) {
            binaries += printable ? 0 : 1;
            continue;
        }
        ++texts;
        textBytes += text.size();
        EXPECT_TRUE(printable) << members[i].name;
        // Lines of text, none empty, each ended by CR LF and by nothing else.
        EXPECT_TRUE(text.ends_with("\r\n")) << members[i].name;
        EXPECT_FALSE(text.starts_with("\r\n") || text.find("\r\n\r\n") != std::string::npos);
        std::string joined;
        for (const std::string& line : SplitTextLines(text)) {
            joined += line + "\r\n";
        }
        EXPECT_EQ(joined, text) << members[i].name;
    }
    EXPECT_GT(texts, 300u);
    EXPECT_NEAR(static_cast<double>(textBytes) / static_cast<double>(texts), 200.0, 30.0);
    EXPECT_GT(binaries, 2000u);
}

} // namespace
} // namespace eitool::samples
