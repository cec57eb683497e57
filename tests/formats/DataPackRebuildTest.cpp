// Packs whose pieces grew, rebuilt in process: a table of layouts, each pack read back member by
// member, and the packs that are not rebuilt.
#include "formats/DataPackRebuild.h"

#include "common/ByteWriter.h"
#include "common/FileSystem.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "formats/DataPackLayout.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace eitool {
namespace {

using samples::BuildPack;
using samples::kNamesListIndex;
using samples::PackMember;
using samples::ReadPackDirectory;
using testing::Bytes;
using testing::FewMembers;
using testing::PackWorkbench;

constexpr std::uint32_t kExtra = 6;
// The members with bytes; the names list lies between 5 and 2535 in offset order.
const std::vector<std::uint32_t> kNonEmpty = {0, 1, 2, 5, 2535, 2536, 2537, 2539};

struct Layout {
    const char* name;
    std::uint32_t alignment; // every member's offset is an odd multiple of it
    std::uint32_t gap;       // at least this many free bytes after each member
    std::vector<std::uint32_t> grown;
    bool shared = false; // 2536 and 2537 are identical entries
};

std::uint64_t RoundUp(std::uint64_t n, std::uint64_t to) {
    return (n + to - 1) / to * to;
}

// The members of a layout with their offsets: in file order, each after the one before.
std::vector<PackMember> LaidOut(const Layout& layout) {
    std::vector<PackMember> members = FewMembers(kExtra, kNonEmpty);
    if (layout.shared) {
        members[2537].data = members[2536].data;
    }
    std::uint64_t namesSize = 0;
    for (const PackMember& member : members) {
        namesSize += member.name.size() + 2;
    }
    const std::uint64_t a = layout.alignment;
    std::uint64_t cursor = 4 + 16 * members.size();
    for (std::uint32_t i = 0; i < members.size(); ++i) {
        const std::uint64_t size = i == kNamesListIndex ? namesSize : members[i].data.size();
        if (size == 0) {
            members[i].offset = static_cast<std::uint32_t>(cursor); // shares the next one's
            continue;
        }
        if (layout.shared && i == 2537) {
            members[i].offset = members[2536].offset;
            continue;
        }
        const std::uint64_t offset = RoundUp(cursor + layout.gap, 2 * a) + a;
        members[i].offset = static_cast<std::uint32_t>(offset);
        cursor = offset + size;
        // Empty members met before this one sit at its offset.
        for (std::uint32_t e = i; e-- > 0 && members[e].data.empty() && e != kNamesListIndex;) {
            members[e].offset = members[i].offset;
        }
    }
    return members;
}

// The bytes of member i as stored in pack.
Bytes MemberBytes(const Bytes& pack, const samples::PackEntry& entry) {
    return Bytes(pack.begin() + entry.offset, pack.begin() + entry.offset + entry.size);
}

TEST(DataPackRebuild, EveryMemberHoldsItsPieceOrItsOldBytesInItsOldOrder) {
    const std::vector<Layout> layouts = {
        {"the first member grows", 1, 0, {0}},
        {"a member before the names list grows", 16, 0, {2}},
        {"the last member grows", 2048, 0, {2539}},
        {"two grow, with gaps", 16, 5, {1, 2536}},
        {"identical entries grow alike", 1, 0, {2536, 2537}, true},
        {"gaps kept at 2048", 2048, 100, {5, 2539}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        PackWorkbench bench;
        const Bytes original = BuildPack(LaidOut(layout));
        const std::vector<samples::PackEntry> before = ReadPackDirectory(original);
        ASSERT_EQ(datapack::PackAlignment(
                      datapack::ReadDirectory(
                          FileStream::Open(bench.WritePack("game.tre", original), omRead),
                          static_cast<std::uint32_t>(before.size()), original.size())
                          .entries),
                  layout.alignment);
        const std::string pack = bench.dir / "game.tre";
        const TextLines lines = bench.Extract(pack);
        std::vector<std::uint32_t> byPosition(lines.size()); // entry line -> file index
        {
            std::vector<DataPackEntry> entries;
            for (const samples::PackEntry& e : before) {
                entries.push_back({e.offset, e.size, e.third, e.crc});
            }
            byPosition = datapack::OffsetOrder(entries);
        }
        // Each grown piece gets 1 + 37 j bytes more (the same for identical entries); member 1,
        // when it does not grow, is cut short.
        std::map<std::uint32_t, Bytes> pieces;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const std::uint32_t i = byPosition[k];
            const auto at = std::find(layout.grown.begin(), layout.grown.end(), i);
            if (at != layout.grown.end()) {
                Bytes piece = ReadWholeFile(lines[k]);
                const auto j = layout.shared ? 0 : at - layout.grown.begin();
                piece.insert(piece.end(), 1 + 37 * j, static_cast<std::uint8_t>(0xC0 + j));
                WriteWholeFile(lines[k], piece);
                pieces[i] = piece;
            } else if (i == 1) {
                Bytes piece = ReadWholeFile(lines[k]);
                piece.pop_back();
                piece[0] ^= 0xFF;
                WriteWholeFile(lines[k], piece);
                pieces[i] = piece;
            }
        }

        bench.state.Grow = GrowMode::Rebuild;
        bench.Insert(pack, lines);
        EXPECT_EQ(bench.surface.results, std::vector<std::string>{});
        ASSERT_EQ(bench.surface.reports.size(), 1u);
        EXPECT_EQ(bench.surface.reports[0].rfind(pack + " rebuilt: ", 0), 0u);

        const Bytes rebuilt = ReadWholeFile(pack);
        const std::vector<samples::PackEntry> after = ReadPackDirectory(rebuilt);
        ASSERT_EQ(after.size(), before.size());
        for (std::uint32_t i = 0; i < after.size(); ++i) {
            SCOPED_TRACE(i);
            // Every grown range before a member moves it by its growth, rounded up.
            std::uint64_t shift = 0;
            std::uint32_t lastOffset = 0xFFFFFFFFu;
            for (const std::uint32_t g : layout.grown) {
                if (before[g].offset < before[i].offset && before[g].offset != lastOffset) {
                    shift += RoundUp(pieces.at(g).size() - before[g].size, layout.alignment);
                    lastOffset = before[g].offset;
                }
            }
            EXPECT_EQ(after[i].offset, before[i].offset + shift);
            EXPECT_EQ(after[i].third, before[i].third);
            const Bytes expected =
                pieces.count(i) != 0 ? pieces.at(i) : MemberBytes(original, before[i]);
            EXPECT_EQ(after[i].size, expected.size());
            EXPECT_EQ(MemberBytes(rebuilt, after[i]), expected);
            EXPECT_EQ(after[i].crc, Crc32Update(0, expected));
        }

        // The log inserted again changes nothing; an extraction names the same pieces.
        bench.surface.reports.clear();
        bench.Insert(pack, lines);
        EXPECT_EQ(ReadWholeFile(pack), rebuilt);
        EXPECT_TRUE(bench.surface.reports.empty());
        bench.state.TargetDirectory = bench.dir / "again";
        CreateDirectories(bench.state.TargetDirectory);
        const TextLines again = bench.Extract(pack);
        ASSERT_EQ(again.size(), lines.size());
        for (std::size_t k = 0; k < lines.size(); ++k) {
            EXPECT_EQ(FileNamePart(again[k]), FileNamePart(lines[k]));
        }
        EXPECT_FALSE(FileExists(datapack::RebuildTemporaryPath(pack)));
    }
}

// A pack that cannot be rebuilt keeps every byte; its grown piece is refused as without a
// rebuild, and the other edited piece goes in.
TEST(DataPackRebuild, APackThatCannotBeRebuiltSaysWhyAndRefusesItsGrownPieces) {
    struct Case {
        const char* name;
        const char* reason;
        std::function<void(std::vector<PackMember>&)> shape;
        std::function<void(const std::string& pack)> around;
        bool linux = false;
    };
    const std::vector<Case> cases = {
        {"overlap in part", "members 2535 and 2536 overlap in part",
         [](std::vector<PackMember>& members) {
             members[2535].offset = 200000;
             members[2536].offset = 200002;
         },
         nullptr},
        {"a second hard link", "has 2 hard links", nullptr,
         [](const std::string& pack) { std::filesystem::create_hard_link(pack, pack + ".2"); }},
        {"no room on its disk", "and the rebuilt pack needs", nullptr,
         [](const std::string& pack) { CapFreeSpaceForTests(std::filesystem::file_size(pack)); }},
        {"past 4 GiB", "past the 4 GiB",
         [](std::vector<PackMember>& members) { members[2539].offset = 0xFFFFFF00u; }, nullptr,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct LiftCap {
            ~LiftCap() { CapFreeSpaceForTests(std::nullopt); }
        } liftCap;
#ifdef _WIN32
        if (c.linux) {
            continue; // a sparse file of 4 GiB
        }
#endif
        PackWorkbench bench;
        std::vector<PackMember> members = FewMembers(kExtra, kNonEmpty);
        Bytes original;
        std::string pack = bench.dir / "game.tre";
        if (c.shape) {
            c.shape(members);
        }
        if (members[2539].offset) {
            // Written sparse: the member far out, the pack ending right after it.
            members[2539].offset.reset();
            original = BuildPack(members);
            const std::uint32_t far = 0xFFFFFF00u;
            StoreU32le(original, 4 + 16 * 2539, far);
            const Bytes data = members[2539].data;
            WriteWholeFile(pack, original);
            {
                FileStream file = FileStream::Open(pack, omReadWrite);
                file.WriteAt(far, data);
            }
        } else {
            original = BuildPack(members);
            WriteWholeFile(pack, original);
        }
        if (c.around) {
            c.around(pack);
        }
        const TextLines lines = bench.Extract(pack);
        Bytes grown = ReadWholeFile(lines[0]);
        grown.resize(grown.size() + 512, 1);
        WriteWholeFile(lines[0], grown);
        Bytes shorter = ReadWholeFile(lines[1]);
        shorter.pop_back();
        WriteWholeFile(lines[1], shorter);
        const std::uint64_t size = std::filesystem::file_size(pack);

        bench.state.Grow = GrowMode::Rebuild;
        bench.Insert(pack, lines);
        ASSERT_EQ(bench.surface.results.size(), 2u);
        EXPECT_EQ(bench.surface.results[0].rfind(pack + " is not rebuilt: ", 0), 0u);
        EXPECT_NE(bench.surface.results[0].find(c.reason), std::string::npos)
            << bench.surface.results[0];
        EXPECT_EQ(bench.surface.results[1], lines[0] + " greater by 512 bytes.");
        EXPECT_EQ(std::filesystem::file_size(pack), size);
        // The pack's first 64 KiB hold its directory and members 0 and 1.
        Bytes head(std::size_t{64} << 10);
        FileStream::Open(pack, omRead).ReadAt(0, head);
        const std::vector<samples::PackEntry> entries = ReadPackDirectory(head);
        EXPECT_EQ(entries[1].size, shorter.size());
        EXPECT_EQ(MemberBytes(head, entries[1]), shorter);
        EXPECT_EQ(entries[0].size, grown.size() - 512);
    }
}

} // namespace
} // namespace eitool
