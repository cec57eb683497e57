#include "formats/DataPack.h"

#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace eitool {
namespace {

using samples::BuildPack;
using samples::kNamesListIndex;
using samples::PackMember;
using samples::ReadPackDirectory;
using testing::Bytes;
using testing::CountingHook;
using testing::FewMembers;
using testing::PackWorkbench;

std::size_t FilesBelow(const std::string& directory) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

// Offsets of directory entry i and of its fields.
std::size_t EntryAt(std::size_t i) {
    return 4 + 16 * i;
}

TEST(DataPackExtract, EmptyPackOnlyShowsPreparing) {
    PackWorkbench bench;
    const std::string pack = bench.WritePack("empty.tre", Bytes{0, 0, 0, 0});
    EXPECT_TRUE(bench.Extract(pack).empty());
    EXPECT_EQ(bench.surface.messages, std::vector<std::string>{"Preparing empty.tre..."});
    EXPECT_EQ(bench.surface.extractedUpdates, 0);
    EXPECT_EQ(FilesBelow(bench.state.TargetDirectory), 0u);
}

TEST(DataPackExtract, WritesEveryMemberInOffsetOrderWithNullForEmptyOnes) {
    PackWorkbench bench;
    auto members = samples::MakeRealisticMembers(2600, 11, 40);
    const std::string pack = bench.WritePack("data.tre", BuildPack(members));
    const TextLines lines = bench.Extract(pack);

    ASSERT_EQ(lines.size(), members.size());
    std::size_t nulls = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        // Laid out in file order, so offset order is file order here.
        if (members[k].data.empty() && k != kNamesListIndex) {
            EXPECT_EQ(lines[k], "NULL");
            ++nulls;
        } else {
            ASSERT_NE(lines[k], "NULL") << k;
            if (k != kNamesListIndex) {
                EXPECT_EQ(ReadWholeFile(lines[k]), members[k].data) << lines[k];
            }
        }
    }
    EXPECT_GT(nulls, 0u);
    EXPECT_EQ(FilesBelow(bench.state.TargetDirectory), members.size() - nulls);
    EXPECT_EQ(bench.surface.extracted, "Extracted: 2600 of 2600");
    EXPECT_EQ(bench.surface.extractedUpdates, 2600); // NULL entries advance the counter too
    EXPECT_EQ(bench.surface.messages,
              (std::vector<std::string>{"Preparing data.tre...", "Processing data.tre..."}));
    EXPECT_EQ(bench.state.stats.pieces, members.size() - nulls);
}

TEST(DataPackExtract, ThreeThousandEntriesUseFourHexDigits) {
    PackWorkbench bench;
    auto members = FewMembers(3000 - kNamesListIndex - 1, {0, 419, 2999});
    members[419].name = "logo.tga";
    const TextLines lines = bench.Extract(bench.WritePack("a.tre", BuildPack(members)));
    const std::string& out = bench.state.TargetDirectory;
    EXPECT_EQ(lines[0], out + testing::NativePath("/BIN/0000_m0.bin"));
    EXPECT_EQ(lines[419], out + testing::NativePath("/TGA/01A3_logo.tga"));
    EXPECT_EQ(lines[2999], out + testing::NativePath("/BIN/0BB7_m2999.bin"));
    EXPECT_EQ(lines[1], "NULL");
}

TEST(DataPackExtract, NamesAreReducedToTheirFileNameAndFoldersToUpperCase) {
    PackWorkbench bench;
    auto members = FewMembers(4, {0, 1, 2, 3, 4});
    members[0].name = "data\\ui\\logo.tga";
    members[1].name = "snd/bgm01.Wav";
    members[2].name = "sys:boot.bin";
    members[3].name = "readme";
    members[4].name = "x.y\\archive.tar.gz";
    const TextLines lines = bench.Extract(bench.WritePack("a.tre", BuildPack(members)));
    const std::string& out = bench.state.TargetDirectory;
    EXPECT_EQ(lines[0], out + testing::NativePath("/TGA/0000_logo.tga"));
    EXPECT_EQ(lines[1], out + testing::NativePath("/WAV/0001_bgm01.Wav"));
    EXPECT_EQ(lines[2], out + testing::NativePath("/BIN/0002_boot.bin"));
    // No extension: an empty folder, two separators in a row, the piece in the base directory.
    EXPECT_EQ(lines[3], out + testing::NativePath("//0003_readme"));
    EXPECT_TRUE(std::filesystem::is_regular_file(out + testing::NativePath("/0003_readme")));
    EXPECT_EQ(lines[4], out + testing::NativePath("/GZ/0004_archive.tar.gz"));
    EXPECT_EQ(ReadWholeFile(lines[0]), members[0].data);
}

TEST(DataPackExtract, TiedOffsetsKeepTheExchangeSortOrder) {
    PackWorkbench bench;
    auto members = FewMembers(3, {0, 1, 2});
    // m0, m1, m2 are laid out at X, X+3, X+7. m2534 and m2535 tie with m1 at X+3 and m2536
    // ties with m0 at X: the swap that brings m2536 forward moves m1 behind its two ties.
    const std::uint32_t x = static_cast<std::uint32_t>(EntryAt(members.size()));
    members[2534].offset = x + 3;
    members[2534].data = {0xA1};
    members[2535].offset = x + 3;
    members[2535].data = {0xB1, 0xB2};
    members[2536].offset = x;
    members[2536].data = {0xC1};
    const Bytes bytes = BuildPack(members);
    const TextLines lines = bench.Extract(bench.WritePack("a.tre", bytes));
    const std::string& out = bench.state.TargetDirectory;
    ASSERT_EQ(lines.size(), members.size());
    EXPECT_EQ(lines[0], out + testing::NativePath("/BIN/0000_m0.bin"));
    EXPECT_EQ(lines[1], out + testing::NativePath("/BIN/0001_m2536.bin"));
    EXPECT_EQ(lines[2], out + testing::NativePath("/BIN/0002_m2534.bin"));
    EXPECT_EQ(lines[3], out + testing::NativePath("/BIN/0003_m2535.bin"));
    EXPECT_EQ(lines[4], out + testing::NativePath("/BIN/0004_m1.bin"));
    // Each piece holds its own member's size from the shared offset.
    EXPECT_EQ(ReadWholeFile(lines[2]).size(), 1u);
    EXPECT_EQ(ReadWholeFile(lines[3]).size(), 2u);
    EXPECT_EQ(ReadWholeFile(lines[4]), Bytes(bytes.begin() + x + 3, bytes.begin() + x + 7));
}

TEST(DataPackExtract, OffsetsCompareUnsigned) {
    PackWorkbench bench;
    auto members = FewMembers(2, {0, 2535});
    members[1].offset = 0x80000000u; // empty while the pack is built; its data is added below
    const std::string pack = bench.WritePack("a.tre", BuildPack(members));
    {
        // A sparse file: the member lies beyond 2 GiB.
        FileStream file = FileStream::Open(pack, omReadWrite);
        const Bytes data = {1, 2, 3, 4, 5};
        file.Seek(0x80000000u);
        file.Write(data.data(), data.size());
        Bytes size(4);
        StoreU32le(size, 0, 5);
        file.Seek(EntryAt(1) + 4);
        file.Write(size.data(), size.size());
    }
    const TextLines lines = bench.Extract(pack);
    ASSERT_EQ(lines.size(), members.size());
    EXPECT_EQ(lines.back(), bench.state.TargetDirectory + testing::NativePath("/BIN/09E7_m1.bin"));
    EXPECT_EQ(ReadWholeFile(lines.back()), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(lines[1], "NULL"); // m2 is empty and next in order after m0
}

TEST(DataPackExtract, ProgressStopsAtTheLastPercentage) {
    PackWorkbench bench;
    const auto members = FewMembers(3000 - kNamesListIndex - 1, {0});
    bench.Extract(bench.WritePack("a.tre", BuildPack(members)));
    const auto& history = bench.surface.progressHistory;
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back(), 2999 * 100 / 3000);
    EXPECT_EQ(history.size(), 99u); // 1 .. 99: the bar starts at 0, each value set once
    EXPECT_TRUE(std::is_sorted(history.begin(), history.end()));
    EXPECT_EQ(bench.surface.dispatches, 2 + 99); // two status texts and each percentage
}

TEST(DataPackExtract, ScannedListMirrorsTheSourceTree) {
    PackWorkbench bench;
    CreateDirectories(bench.dir / "games/data");
    const Bytes bytes = BuildPack(FewMembers(1, {0, 1}));
    const std::string pack = bench.dir / "games/data/a.tre";
    WriteWholeFile(pack, bytes);
    bench.state.ListFromScan = true;
    bench.state.ScanRoot = bench.dir / "games";
    const TextLines lines = bench.Extract(pack);
    const std::string& out = bench.state.TargetDirectory;
    EXPECT_EQ(lines[0], out + testing::NativePath("/data/BIN/0000_m0.bin"));
    EXPECT_EQ(lines[kNamesListIndex], out + testing::NativePath("/data/BIN/09E5_m2533.bin"));
    EXPECT_TRUE(
        std::filesystem::is_regular_file(out + testing::NativePath("/data/BIN/0000_m0.bin")));
    EXPECT_TRUE(bench.state.KnownDirectories.contains(out + testing::NativePath("/data/BIN")));
}

TEST(DataPackExtract, PackWithoutNamesListIsReportedWithoutPieces) {
    PackWorkbench bench;
    const std::string pack = bench.WritePack("small.tre", BuildPack(FewMembers(0, {0})));
    // Drop the last entry: kNamesListIndex entries, no names list.
    Bytes bytes = ReadWholeFile(pack);
    StoreU32le(bytes, 0, kNamesListIndex);
    WriteWholeFile(pack, bytes);
    EXPECT_TRUE(bench.Extract(pack).empty());
    EXPECT_EQ(bench.surface.results, std::vector<std::string>{pack + " has no names list!"});
    EXPECT_EQ(FilesBelow(bench.state.TargetDirectory), 0u);
}

// Lines are views into the one buffer, split at CR, LF and CR LF up to the first NUL, and no
// more lines are kept than the pack has entries, however many the text holds.
TEST(DataPackNames, LinesAreViewsIntoTheTextUpToTheLineLimit) {
    const std::string text = "a\rbb\r\nccc\n\nd" + std::string(1, '\0') + "after the NUL";
    const NamesList names(Bytes(text.begin(), text.end()), 100);
    ASSERT_EQ(names.size(), 5u);
    const char* first = reinterpret_cast<const char*>(names.Bytes().data());
    const std::vector<std::pair<std::size_t, std::string>> expected = {
        {0, "a"}, {2, "bb"}, {6, "ccc"}, {10, ""}, {11, "d"}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(names[k], expected[k].second) << k;
        EXPECT_EQ(names[k].data(), first + expected[k].first) << k;
    }

    const Bytes many(std::size_t{2} << 20, '\n'); // two million empty lines
    const NamesList capped(many, 2600);
    EXPECT_EQ(capped.size(), 2600u);
    EXPECT_EQ(capped.Bytes().size(), many.size());
}

// Every entry but the names list claims the same 64 KiB: the pieces would add up to far more
// than 64 times the pack, so it is refused before any piece is written.
TEST(DataPackExtract, OverlappingMembersBeyondTheOutputLimitAreRefused) {
    PackWorkbench bench;
    constexpr std::uint32_t kCount = kNamesListIndex + 1;
    constexpr std::uint32_t kRegion = 64 * 1024;
    std::string names;
    for (std::uint32_t i = 0; i < kCount; ++i) {
        names += "m.bin\n";
    }
    const std::uint32_t regionAt = 4 + 16 * kCount;
    const std::uint32_t namesAt = regionAt + kRegion;
    Bytes bytes(namesAt, 0);
    StoreU32le(bytes, 0, kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        const bool isNames = i == kNamesListIndex;
        StoreU32le(bytes, EntryAt(i), isNames ? namesAt : regionAt);
        StoreU32le(bytes, EntryAt(i) + 4,
                   isNames ? static_cast<std::uint32_t>(names.size()) : kRegion);
    }
    bytes.insert(bytes.end(), names.begin(), names.end());
    const std::string pack = bench.WritePack("overlap.tre", bytes);
    EXPECT_TRUE(bench.Extract(pack).empty());
    EXPECT_EQ(
        bench.surface.results,
        std::vector<std::string>{pack + " would write more than 64 times its size; refused!"});
    EXPECT_EQ(FilesBelow(bench.state.TargetDirectory), 0u);
}

TEST(DataPackExtract, PieceThatCannotBeWrittenIsRemoved) {
    PackWorkbench bench;
    const std::string pack = bench.WritePack("a.tre", BuildPack(FewMembers(1, {0})));
    const std::string piece = bench.state.TargetDirectory + testing::NativePath("/BIN/0000_m0.bin");
#ifdef _WIN32
    GTEST_SKIP() << "Not on Windows: there is no limit of a file's size to make writes fail";
#else
    // Every write past the first byte fails (EFBIG instead of the signal).
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = before;
    tiny.rlim_cur = 1;
    setrlimit(RLIMIT_FSIZE, &tiny);
    EXPECT_THROW(bench.Extract(pack), FileWriteError);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(FileExists(piece));
    EXPECT_TRUE(bench.state.ResultLog.empty());
#endif
}

struct Malformed {
    const char* what;
    Bytes bytes;
    const char* mentions; // a text the error must name besides the pack
};

std::vector<Malformed> MalformedPacks() {
    const auto members = FewMembers(2, {0, 1, 2535});
    const Bytes good = BuildPack(members);
    const auto entries = ReadPackDirectory(good);
    std::vector<Malformed> set;
    auto with = [&](const char* what, const char* mentions, auto change) {
        Bytes bytes = good;
        change(bytes);
        set.push_back({what, std::move(bytes), mentions});
    };
    with("shorter than a count", "too short", [](Bytes& b) { b.resize(3); });
    with("count too large", "4294967295 entries", [](Bytes& b) { StoreU32le(b, 0, 0xFFFFFFFFu); });
    with("directory past the end", "2536 entries", [](Bytes& b) { b.resize(EntryAt(2535) + 8); });
    with("names list past the end", "entry 2533", [&](Bytes& b) {
        StoreU32le(b, EntryAt(kNamesListIndex), static_cast<std::uint32_t>(b.size()) - 2);
    });
    with("member past the end", "member 2535",
         [&](Bytes& b) { StoreU32le(b, EntryAt(2535) + 4, entries[2535].size + 1); });
    with("offset and size wrapping 32 bits", "member 1", [](Bytes& b) {
        StoreU32le(b, EntryAt(1), 0xFFFFFFF0u);
        StoreU32le(b, EntryAt(1) + 4, 0x20);
    });
    with("names list too short", "line 2535", [&](Bytes& b) {
        // Cut the names list after m0 .. m2534, one line short of m2535's.
        std::uint32_t size = 0;
        for (std::size_t i = 0; i <= 2534; ++i) {
            size += static_cast<std::uint32_t>(members[i].name.size() + 2);
        }
        StoreU32le(b, EntryAt(kNamesListIndex) + 4, size);
    });
    return set;
}

TEST(DataPackExtract, MalformedPacksAreRefusedCleanly) {
    for (const Malformed& malformed : MalformedPacks()) {
        SCOPED_TRACE(malformed.what);
        PackWorkbench bench;
        const std::string pack = bench.WritePack("bad.tre", malformed.bytes);
        try {
            bench.Extract(pack);
            ADD_FAILURE() << "not refused";
        } catch (const CorruptFileError& error) {
            const std::string message = error.what();
            EXPECT_EQ(error.Path(), pack);
            EXPECT_NE(message.find(malformed.mentions), std::string::npos) << message;
        }
        EXPECT_TRUE(bench.state.ResultLog.empty());
        EXPECT_EQ(FilesBelow(bench.state.TargetDirectory), 0u);
    }
}

// ---- Insertion ----------------------------------------------------------------------------

// A pack extracted into the workbench: its original bytes and entry lines.
struct Extracted {
    std::string pack;
    Bytes original;
    TextLines lines;
};

Extracted ExtractFresh(PackWorkbench& bench, const std::vector<PackMember>& members) {
    Extracted result;
    result.original = BuildPack(members);
    result.pack = bench.WritePack("data.tre", result.original);
    result.lines = bench.Extract(result.pack);
    bench.surface = testing::RecordingSurface();
    bench.state.stats = RunStats();
    return result;
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t size) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

TEST(DataPackInsert, EqualShorterAndEmptyPiecesAreWritten) {
    PackWorkbench bench;
    auto members = FewMembers(3, {0, 1, 2, 3});
    members[1].data = {1, 2, 3, 4, 5, 6};
    members[2].data = {9, 9, 9, 9};
    const Extracted x = ExtractFresh(bench, members);
    WriteWholeFile(x.lines[0], {0xE0, 0xE1, 0xE2}); // m0 has 3 bytes: equal size
    WriteWholeFile(x.lines[1], {0x51, 0x52});       // shorter
    WriteWholeFile(x.lines[2], {});                 // empty

    EXPECT_EQ(bench.Insert(x.pack, x.lines), 2 + static_cast<std::int32_t>(members.size()));
    const Bytes after = ReadWholeFile(x.pack);
    const auto before = ReadPackDirectory(x.original);
    const auto entries = ReadPackDirectory(after);

    EXPECT_EQ(Slice(after, entries[0].offset, 3), (Bytes{0xE0, 0xE1, 0xE2}));
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].crc, Crc32Update(0, Bytes{0xE0, 0xE1, 0xE2}));

    EXPECT_EQ(entries[1].size, 2u);
    EXPECT_EQ(entries[1].crc, Crc32Update(0, Bytes{0x51, 0x52}));
    EXPECT_EQ(Slice(after, entries[1].offset, 6), (Bytes{0x51, 0x52, 3, 4, 5, 6}));

    EXPECT_EQ(entries[2].size, 0u);
    EXPECT_EQ(entries[2].crc, 0u);
    EXPECT_EQ(Slice(after, entries[2].offset, 4), (Bytes{9, 9, 9, 9}));

    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].offset, before[i].offset);
        EXPECT_EQ(entries[i].third, before[i].third);
        if (i > 2) {
            EXPECT_EQ(entries[i].size, before[i].size);
            EXPECT_EQ(entries[i].crc, before[i].crc);
        }
    }
    EXPECT_EQ(after.size(), x.original.size());
    EXPECT_TRUE(bench.surface.results.empty());
    EXPECT_EQ(bench.state.stats.pieces, 3u);
    EXPECT_FALSE(FileExists(DataPackJournalPath(x.pack)));
}

TEST(DataPackInsert, GrownPieceIsReportedAndLeftOut) {
    PackWorkbench bench;
    const auto members = FewMembers(1, {0});
    const Extracted x = ExtractFresh(bench, members);
    Bytes grown = members[0].data;
    grown.push_back(0x77);
    WriteWholeFile(x.lines[0], grown);
    bench.Insert(x.pack, x.lines);
    EXPECT_EQ(bench.surface.results, std::vector<std::string>{x.lines[0] + " greater by 1 bytes."});
    EXPECT_EQ(ReadWholeFile(x.pack), x.original);
}

// The counter says what is being done: comparing every entry, writing the journal, writing the
// pieces; at the end the whole pack is inserted.
TEST(DataPackInsert, EveryEntryConsumesOneLine) {
    PackWorkbench bench;
    const auto members = FewMembers(3, {0, 2, 3});
    const Extracted x = ExtractFresh(bench, members);
    ASSERT_EQ(x.lines[1], "NULL");
    std::filesystem::remove(x.lines[0]); // a deleted piece leaves its member as it was
    WriteWholeFile(x.lines[2], {0x42});
    EXPECT_EQ(bench.Insert(x.pack, x.lines), 2 + static_cast<std::int32_t>(members.size()));
    const auto entries = ReadPackDirectory(ReadWholeFile(x.pack));
    EXPECT_EQ(entries[0].size, members[0].data.size());
    EXPECT_EQ(entries[2].size, 1u);
    const std::vector<std::string>& counter = bench.surface.extractedHistory;
    ASSERT_EQ(counter.size(), 2537u + 3);
    EXPECT_EQ(counter[0], "Comparing: 1 of 2537");
    EXPECT_EQ(counter[2536], "Comparing: 2537 of 2537");
    EXPECT_EQ(std::vector<std::string>(counter.end() - 3, counter.end()),
              (std::vector<std::string>{"Writing the journal...", "Writing pieces: 1 of 1",
                                        "Inserted: 2537 of 2537"}));
    EXPECT_EQ(bench.surface.messages,
              (std::vector<std::string>{"Preparing data.tre...", "Processing data.tre..."}));
    EXPECT_EQ(bench.surface.progressHistory.end()[-2], 2536 * 100 / 2537);
}

TEST(DataPackInsert, DirectoryIsWrittenBackInFileOrder) {
    PackWorkbench bench;
    auto members = FewMembers(2, {0, 1, 2, 2535});
    // m2535 and m2534 come first in offset order, m0 .. m2 after them.
    const std::uint32_t x = static_cast<std::uint32_t>(EntryAt(members.size()));
    members[2535].offset = x;
    members[2534].offset = x + 100;
    members[2534].data = {1, 2, 3, 4};
    for (std::size_t i = 0; i < 3; ++i) {
        members[i].offset = x + 200 + 10 * static_cast<std::uint32_t>(i);
    }
    const Extracted e = ExtractFresh(bench, members);
    ASSERT_EQ(e.lines[0], bench.state.TargetDirectory + testing::NativePath("/BIN/0000_m2535.bin"));
    ASSERT_EQ(e.lines[1], bench.state.TargetDirectory + testing::NativePath("/BIN/0001_m2534.bin"));
    WriteWholeFile(e.lines[0], {0xAA});
    WriteWholeFile(e.lines[1], {0xBB, 0xBB});
    bench.Insert(e.pack, e.lines);

    const Bytes after = ReadWholeFile(e.pack);
    const auto entries = ReadPackDirectory(after);
    EXPECT_EQ(entries[2535].size, 1u);
    EXPECT_EQ(entries[2535].crc, Crc32Update(0, Bytes{0xAA}));
    EXPECT_EQ(after[x], 0xAA);
    EXPECT_EQ(entries[2534].size, 2u);
    EXPECT_EQ(entries[2534].crc, Crc32Update(0, Bytes{0xBB, 0xBB}));
    EXPECT_EQ(Slice(after, x + 100, 4), (Bytes{0xBB, 0xBB, 3, 4}));
    EXPECT_EQ(entries[0].size, members[0].data.size());
}

TEST(DataPackInsert, TiedOffsetsPairLinesAsExtractionDid) {
    PackWorkbench bench;
    auto members = FewMembers(3, {0, 1, 2});
    const std::uint32_t x = static_cast<std::uint32_t>(EntryAt(members.size()));
    members[2534].offset = x + 3;
    members[2534].data = {0xA1};
    members[2535].offset = x + 3;
    members[2535].data = {0xB1, 0xB2};
    members[2536].offset = x;
    members[2536].data = {0xC1};
    const Extracted e = ExtractFresh(bench, members);
    // Position 3 is m2535 (two bytes at X+3), which shares its first byte with m2534 at
    // position 2: its edit is refused, naming both.
    WriteWholeFile(e.lines[3], {0x5A});
    const Bytes before = ReadWholeFile(e.pack);
    bench.Insert(e.pack, e.lines);
    EXPECT_EQ(bench.surface.results,
              std::vector<std::string>{e.lines[3] + " shares part of its bytes with member 2534 (" +
                                       e.lines[2] + "); not inserted."});
    const Bytes after = ReadWholeFile(e.pack);
    const auto entries = ReadPackDirectory(after);
    EXPECT_EQ(entries[2535].size, 2u);
    EXPECT_EQ(entries[2535].crc, ReadPackDirectory(before)[2535].crc);
    EXPECT_EQ(Slice(after, x + 3, 2), Slice(before, x + 3, 2));
}

TEST(DataPackInsert, UnchangedPiecesAreNotWritten) {
    PackWorkbench bench;
    const auto members = FewMembers(3, {0, 1, 2});
    const Extracted x = ExtractFresh(bench, members);
    CountingHook hook;
    bench.Insert(x.pack, x.lines, &hook);
    EXPECT_EQ(hook.calls, 0);
    EXPECT_EQ(bench.state.stats.pieces, 0u);
    EXPECT_EQ(ReadWholeFile(x.pack), x.original);
}

TEST(DataPackInsert, TooFewLinesAreRefusedBeforeWriting) {
    PackWorkbench bench;
    const auto members = FewMembers(3, {0});
    const Extracted x = ExtractFresh(bench, members);
    WriteWholeFile(x.lines[0], {0x01});
    TextLines lines = x.lines;
    lines.resize(lines.size() - 3); // Insert adds one more line after them
    try {
        bench.Insert(x.pack, lines);
        ADD_FAILURE() << "not refused";
    } catch (const CorruptFileError& error) {
        EXPECT_EQ(error.Path(), x.pack);
        EXPECT_NE(std::string(error.what()).find("2 lines are missing"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(ReadWholeFile(x.pack), x.original);
}

TEST(DataPackInsert, PacksWithoutNamesListOrEntriesConsumeNothing) {
    PackWorkbench bench;
    const std::string empty = bench.WritePack("empty.tre", Bytes{0, 0, 0, 0});
    EXPECT_EQ(bench.Insert(empty, {"x"}), 2);
    EXPECT_TRUE(bench.surface.results.empty());

    Bytes small = BuildPack(FewMembers(0, {0}));
    StoreU32le(small, 0, 3);
    const std::string pack = bench.WritePack("small.tre", small);
    EXPECT_EQ(bench.Insert(pack, {"x"}), 2);
    EXPECT_EQ(bench.surface.results, std::vector<std::string>{pack + " has no names list!"});
    EXPECT_EQ(ReadWholeFile(pack), small);
}

} // namespace
} // namespace eitool
