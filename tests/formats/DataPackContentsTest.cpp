#include "formats/DataPackContents.h"

#include "common/ByteWriter.h"
#include "common/RunError.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <functional>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using samples::BuildPack;
using samples::kNamesListIndex;
using testing::Bytes;
using testing::FewMembers;
using testing::PackWorkbench;

std::size_t EntryAt(std::size_t i) {
    return 4 + 16 * i;
}

DataPackContents ReadContents(const std::string& path) {
    FileStream pack = FileStream::Open(path, omRead);
    return ReadDataPackContents(pack);
}

MemberCrc LastState(const std::string& path) {
    FileStream pack = FileStream::Open(path, omRead);
    const DataPackContents contents = ReadDataPackContents(pack);
    return CheckMembers(pack, contents).back().state;
}

TEST(DataPackContents, ListsMembersInOffsetOrderWithNamesPiecePathsAndCrcStates) {
    PackWorkbench bench;
    // Member 2535 comes first in offset order, right after the directory; member 2534 shares
    // member 0's bytes and member 1 gets a wrong CRC.
    auto members = FewMembers(2, {0, 1, 2535});
    members[2535].offset = 4 + 16 * 2536;
    members[2535].name = "data\\ui\\logo.tga";
    members[0].offset = 100000;
    Bytes bytes = BuildPack(members);
    StoreU32le(bytes, EntryAt(2534), 100000);
    StoreU32le(bytes, EntryAt(2534) + 4, samples::ReadPackDirectory(bytes)[0].size);
    StoreU32le(bytes, EntryAt(2534) + 12, samples::ReadPackDirectory(bytes)[0].crc);
    StoreU32le(bytes, EntryAt(1) + 12, 0xBADu);
    const std::string path = bench.WritePack("a.tre", bytes);

    FileStream pack = FileStream::Open(path, omRead);
    const DataPackContents contents = ReadDataPackContents(pack);
    ASSERT_EQ(contents.entries.size(), 2536u);
    ASSERT_TRUE(contents.names.has_value());
    EXPECT_EQ(contents.order[0], 2535u);
    EXPECT_EQ(MemberName(contents, 0), "logo.tga");
    EXPECT_EQ(MemberPiecePath(bench.state, path, contents, 0, "logo.tga"),
              bench.state.TargetDirectory + testing::NativePath("/TGA/0000_logo.tga"));

    const std::vector<MemberCheck> checks = CheckMembers(pack, contents);
    std::vector<MemberCrc> byEntry(contents.entries.size());
    for (std::size_t k = 0; k < checks.size(); ++k) {
        byEntry[contents.order[k]] = checks[k].state;
        if (contents.entries[contents.order[k]].size == 0) {
            EXPECT_EQ(
                MemberPiecePath(bench.state, path, contents, static_cast<std::uint32_t>(k), "x"),
                "");
        }
    }
    EXPECT_EQ(byEntry[0], MemberCrc::Ok);
    EXPECT_EQ(byEntry[2534], MemberCrc::Ok); // the same bytes as member 0
    EXPECT_EQ(byEntry[2535], MemberCrc::Ok);
    EXPECT_EQ(byEntry[kNamesListIndex], MemberCrc::Ok);
    EXPECT_EQ(byEntry[1], MemberCrc::Bad);
    EXPECT_EQ(byEntry[2], MemberCrc::Empty);
    EXPECT_STREQ(CrcStateName(MemberCrc::Outside), "bad");
}

// Members of several blocks each, read as one stream, then a member that goes back to the first
// one's bytes, and one whose CRC is wrong: each is checked whole.
TEST(DataPackContents, LargeAndOverlappingMembersAreCheckedWhole) {
    PackWorkbench bench;
    auto members = FewMembers(4, {0, 1, 2535, 2536, 2537});
    for (const std::uint32_t i : {2535u, 2536u, 2537u}) {
        members[i].data.resize((std::size_t{600} << 10) + i, static_cast<std::uint8_t>(i));
        members[i].data[members[i].data.size() / 2] ^= 0x5A;
    }
    Bytes bytes = BuildPack(members);
    const auto directory = samples::ReadPackDirectory(bytes);
    StoreU32le(bytes, EntryAt(2534), directory[2535].offset);
    StoreU32le(bytes, EntryAt(2534) + 4, directory[2535].size);
    StoreU32le(bytes, EntryAt(2534) + 12, directory[2535].crc);
    StoreU32le(bytes, EntryAt(2536) + 12, directory[2536].crc ^ 1);
    const std::string path = bench.WritePack("big.tre", bytes);

    FileStream pack = FileStream::Open(path, omRead);
    const DataPackContents contents = ReadDataPackContents(pack);
    const std::vector<MemberCheck> checks = CheckMembers(pack, contents);
    for (std::size_t k = 0; k < checks.size(); ++k) {
        const std::uint32_t entry = contents.order[k];
        const MemberCrc expected = entry == 2536                       ? MemberCrc::Bad
                                   : contents.entries[entry].size == 0 ? MemberCrc::Empty
                                                                       : MemberCrc::Ok;
        EXPECT_EQ(checks[k].state, expected) << "entry " << entry;
    }
}

TEST(DataPackContents, FreeBytesReachTheNextNonEmptyMemberOrTheEndOfTheFile) {
    // offset, size by file index; an empty member in a gap does not count.
    const std::vector<DataPackEntry> entries = {
        {100, 10, 0, 0}, {115, 0, 0, 0}, {120, 5, 0, 0}, {120, 30, 0, 0}, {140, 5, 0, 0}};
    const std::vector<std::uint32_t> order = {0, 1, 2, 3, 4};
    EXPECT_EQ(FreeAfterMembers(entries, order, 200), (std::vector<std::uint64_t>{10, 5, 0, 0, 55}));
    EXPECT_EQ(FreeAfterMembers(entries, order, 100).back(), 0u); // the last lies past the end
}

TEST(DataPackContents, DamagedPacksAreMessagesOrStatesWithoutLargeAllocations) {
    const Bytes good = BuildPack(FewMembers(1, {0, 2534}));
    struct Case {
        const char* what;
        std::function<Bytes()> make;
        const char* error; // a CorruptFileError's text, or empty
        bool names;
        MemberCrc last; // state of the last position when it reads
    };
    const Case cases[] = {
        {"too short for a count",
         [] {
             return Bytes{1, 0};
         },
         "too short to hold an entry count", false, MemberCrc::Empty},
        {"a count beyond the file",
         [] {
             Bytes bytes(64, 0);
             StoreU32le(bytes, 0, 0xFFFFFFFFu);
             return bytes;
         },
         "a directory of 4294967295 entries runs past the end of the file (64 bytes)", false,
         MemberCrc::Empty},
        {"a truncated pack", [&good] { return Bytes(good.begin(), good.end() - 2); }, "", true,
         MemberCrc::Outside},
        {"a member far outside the file",
         [&good] {
             Bytes bytes = good;
             StoreU32le(bytes, EntryAt(2534), 0xFFFFFF00u);
             return bytes;
         },
         "", true, MemberCrc::Outside},
        {"a names list outside the file",
         [&good] {
             Bytes bytes = good;
             StoreU32le(bytes, EntryAt(kNamesListIndex) + 4, 0xFFFFFFF0u);
             return bytes;
         },
         "", false, MemberCrc::Ok},
    };
    for (const Case& c : cases) {
        PackWorkbench bench;
        const std::string path = bench.WritePack("bad.tre", c.make());
        if (*c.error != '\0') {
            try {
                ReadContents(path);
                ADD_FAILURE() << c.what << ": no error";
            } catch (const CorruptFileError& error) {
                EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
                    << c.what << ": " << error.what();
            }
            continue;
        }
        const DataPackContents contents = ReadContents(path);
        EXPECT_EQ(contents.names.has_value(), c.names) << c.what;
        EXPECT_EQ(LastState(path), c.last) << c.what;
    }
}

} // namespace
} // namespace eitool
