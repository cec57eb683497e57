#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "support/PackWorkbench.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace eitool {
namespace {

using samples::BuildPack;
using samples::ReadPackDirectory;
using testing::Bytes;
using testing::FewMembers;
using testing::PackWorkbench;

class ThrowingHook : public WriteHook {
public:
    explicit ThrowingHook(int failAt) : m_failAt(failAt) {}
    void BeforeWrite(const std::string& path) override {
        if (++m_calls == m_failAt) {
            throw FileWriteError(path, "injected failure");
        }
    }

private:
    int m_failAt;
    int m_calls = 0;
};

class ExitingHook : public WriteHook {
public:
    explicit ExitingHook(int exitAt) : m_exitAt(exitAt) {}
    void BeforeWrite(const std::string&) override {
        if (++m_calls == m_exitAt) {
            _exit(9);
        }
    }

private:
    int m_exitAt;
    int m_calls = 0;
};

class PathRecordingHook : public WriteHook {
public:
    std::vector<std::string> paths;
    void BeforeWrite(const std::string& path) override { paths.push_back(path); }
};

// A pack whose pieces were extracted and edited: one shorter, one of equal size, one emptied
// and one large enough to be journalled in several blocks. `inserted` is the pack after a clean
// insertion; `writes` the paths of every write of that insertion, in order.
class DataPackJournal : public ::testing::Test {
protected:
    void SetUp() override {
        auto members = FewMembers(3, {0, 1, 2, 3});
        members[3].data.assign(1536 * 1024, 0x33);
        original = BuildPack(members);
        pack = bench.WritePack("data.tre", original);
        journal = DataPackJournalPath(pack);
        pendingJournal = PendingFile::TemporaryPathOf(journal);
        lines = bench.Extract(pack);
        WriteWholeFile(lines[0], {0x10, 0x11});
        WriteWholeFile(lines[1], {0x20, 0x21, 0x22, 0x23});
        WriteWholeFile(lines[2], {});
        WriteWholeFile(lines[3], Bytes(1536 * 1024 - 1, 0x44));

        PathRecordingHook recorder;
        bench.Insert(pack, lines, &recorder);
        writes = recorder.paths;
        inserted = ReadWholeFile(pack);
        ASSERT_NE(inserted, original);
        WriteWholeFile(pack, original);
        bench.surface = testing::RecordingSurface();
    }

    // 1-based number of the write that renames the journal into place.
    int JournalRenameWrite() const {
        return static_cast<int>(std::find(writes.begin(), writes.end(), journal) - writes.begin()) +
               1;
    }

    bool ReportsRestore() const {
        return std::count(bench.surface.results.begin(), bench.surface.results.end(),
                          pack + " was restored from an interrupted insertion.") == 1;
    }

    // Runs the insertion in a child process that dies at write exitAt.
    void KillInsertionAt(int exitAt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ExitingHook hook(exitAt);
            try {
                bench.Insert(pack, lines, &hook);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 9);
    }

    PackWorkbench bench;
    Bytes original;
    Bytes inserted;
    std::string pack;
    std::string journal;
    std::string pendingJournal; // the journal while it is written
    TextLines lines;
    std::vector<std::string> writes;
};

TEST_F(DataPackJournal, InsertionWritesTheJournalBeforeThePack) {
    // Header and ranges in blocks, checksum, rename; then three pieces, directory, flush.
    ASSERT_GE(writes.size(), 9u);
    const int rename = JournalRenameWrite();
    ASSERT_LE(rename, static_cast<int>(writes.size()));
    for (int i = 0; i < rename - 1; ++i) {
        EXPECT_EQ(writes[static_cast<std::size_t>(i)], pendingJournal);
    }
    for (std::size_t i = static_cast<std::size_t>(rename); i < writes.size(); ++i) {
        EXPECT_EQ(writes[i], pack);
    }
    const auto entries = ReadPackDirectory(inserted);
    EXPECT_EQ(entries[2].size, 0u);
    EXPECT_EQ(entries[3].crc, Crc32Update(0, Bytes(1536 * 1024 - 1, 0x44)));
}

TEST_F(DataPackJournal, FailureAtAnyWriteLeavesThePackAsItWas) {
    for (int i = 1; i <= static_cast<int>(writes.size()); ++i) {
        SCOPED_TRACE("failing write " + std::to_string(i));
        WriteWholeFile(pack, original);
        ThrowingHook hook(i);
        EXPECT_THROW(bench.Insert(pack, lines, &hook), FileWriteError);
        EXPECT_EQ(ReadWholeFile(pack), original);
        EXPECT_FALSE(FileExists(journal));
        EXPECT_FALSE(FileExists(pendingJournal));
    }
}

TEST_F(DataPackJournal, KilledInsertionIsUndoneByTheNextRun) {
    const int rename = JournalRenameWrite();
    for (int i = 1; i <= static_cast<int>(writes.size()); ++i) {
        SCOPED_TRACE("killed at write " + std::to_string(i));
        WriteWholeFile(pack, original);
        bench.surface = testing::RecordingSurface();
        KillInsertionAt(i);
        const bool journalLeft = FileExists(journal);
        EXPECT_EQ(journalLeft, i > rename);

        // Every write comes before the insertion is complete, so the pack goes back to the
        // original whichever way the next run finds the journal.
        switch (i % 3) {
        case 0: {
            RunContext run = bench.Run();
            EXPECT_EQ(RecoverDataPack(run, pack), journalLeft);
            EXPECT_EQ(ReadWholeFile(pack), original);
            break;
        }
        case 1:
            bench.Insert(pack, lines);
            EXPECT_EQ(ReadWholeFile(pack), inserted);
            break;
        default:
            bench.state.TargetDirectory = bench.dir / "again";
            bench.Extract(pack);
            bench.state.TargetDirectory = bench.dir / "out";
            EXPECT_EQ(ReadWholeFile(pack), original);
            break;
        }
        EXPECT_EQ(ReportsRestore(), journalLeft);
        EXPECT_FALSE(FileExists(journal));
        EXPECT_FALSE(FileExists(pendingJournal));
    }
}

TEST_F(DataPackJournal, LeftoverTemporaryJournalIsDropped) {
    WriteWholeFile(pendingJournal, {1, 2, 3});
    RunContext run = bench.Run();
    EXPECT_FALSE(RecoverDataPack(run, pack));
    EXPECT_FALSE(FileExists(pendingJournal));
    EXPECT_TRUE(bench.surface.results.empty());
    EXPECT_EQ(ReadWholeFile(pack), original);
}

struct HandMadeRange {
    std::uint64_t offset;
    std::uint32_t length; // the length field; data may hold fewer bytes
    Bytes data;
};

// A journal laid out field by field, with a correct checksum.
Bytes HandMadeJournal(std::uint64_t packSize, std::uint32_t count, const Bytes& directory,
                      std::uint32_t rangeCount, const std::vector<HandMadeRange>& ranges,
                      const char* magic = "EITJRNL1", const Bytes& trailer = {}) {
    Bytes out(magic, magic + 8);                               // magic
    AppendU64le(out, packSize);                                // size of the pack
    AppendU32le(out, count);                                   // entry count N
    out.insert(out.end(), directory.begin(), directory.end()); // old directory, 16*N bytes
    AppendU32le(out, rangeCount);                              // range count
    for (const HandMadeRange& range : ranges) {
        AppendU64le(out, range.offset);                              // offset in the pack
        AppendU32le(out, range.length);                              // length
        out.insert(out.end(), range.data.begin(), range.data.end()); // old bytes
    }
    out.insert(out.end(), trailer.begin(), trailer.end());
    AppendU32le(out, Crc32Update(0, out)); // checksum of everything before it
    return out;
}

TEST_F(DataPackJournal, HandMadeJournalRestoresRangesAndDirectory) {
    const std::uint32_t count = static_cast<std::uint32_t>(ReadPackDirectory(original).size());
    const Bytes directory(original.begin() + 4, original.begin() + 4 + 16 * count);
    WriteWholeFile(pack, inserted);
    const std::uint64_t at = ReadPackDirectory(original)[1].offset;
    const Bytes old(original.begin() + static_cast<std::ptrdiff_t>(at),
                    original.begin() + static_cast<std::ptrdiff_t>(at + 4));
    WriteWholeFile(journal, HandMadeJournal(original.size(), count, directory, 1, {{at, 4, old}}));
    RunContext run = bench.Run();
    EXPECT_TRUE(RecoverDataPack(run, pack));
    Bytes expected = inserted;
    std::copy(original.begin() + 4, original.begin() + 4 + 16 * count, expected.begin() + 4);
    std::copy(old.begin(), old.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(ReadWholeFile(pack), expected);
    EXPECT_TRUE(ReportsRestore());
}

TEST_F(DataPackJournal, DamagedJournalIsRefusedAndKept) {
    // A real journal, left by an insertion killed at its first write into the pack.
    KillInsertionAt(JournalRenameWrite() + 1);
    const Bytes real = ReadWholeFile(journal);
    const Bytes killed = ReadWholeFile(pack);

    const std::uint32_t count = static_cast<std::uint32_t>(ReadPackDirectory(original).size());
    const Bytes directory(original.begin() + 4, original.begin() + 4 + 16 * count);
    const std::uint64_t size = original.size();
    struct Damaged {
        const char* what;
        Bytes bytes;
    };
    Bytes flipped = real;
    flipped[flipped.size() / 2] ^= 0x01;
    const std::vector<Damaged> damaged = {
        {"truncated", Bytes(real.begin(), real.end() - 1)},
        {"one bit flipped", flipped},
        {"too short", Bytes(real.begin(), real.begin() + 5)},
        {"wrong magic", HandMadeJournal(size, count, directory, 0, {}, "EITJRNL9")},
        {"pack size differs", HandMadeJournal(size + 1, count, directory, 0, {})},
        {"entry count differs",
         HandMadeJournal(size, count - 1, Bytes(directory.begin(), directory.end() - 16), 0, {})},
        {"entry count too large", HandMadeJournal(size, 0xFFFFFFFFu, directory, 0, {})},
        {"range count too large", HandMadeJournal(size, count, directory, 0xFFFFFFFFu, {})},
        {"range past the pack",
         HandMadeJournal(size, count, directory, 1, {{size - 2, 4, {1, 2, 3, 4}}})},
        {"range offset far past the pack",
         HandMadeJournal(size, count, directory, 1, {{~std::uint64_t{0} - 1, 4, {1, 2, 3, 4}}})},
        {"range past the journal", HandMadeJournal(size, count, directory, 1, {{8, 1000, {1, 2}}})},
        {"bytes after the last range",
         HandMadeJournal(size, count, directory, 0, {}, "EITJRNL1", {7})},
    };
    for (const Damaged& bad : damaged) {
        SCOPED_TRACE(bad.what);
        WriteWholeFile(journal, bad.bytes);
        RunContext run = bench.Run();
        try {
            RecoverDataPack(run, pack);
            ADD_FAILURE() << "not refused";
        } catch (const CorruptFileError& error) {
            EXPECT_EQ(error.Path(), journal);
        }
        EXPECT_EQ(ReadWholeFile(pack), killed);
        EXPECT_EQ(ReadWholeFile(journal), bad.bytes);
    }

    // The real journal still puts the pack back.
    WriteWholeFile(journal, real);
    RunContext run = bench.Run();
    EXPECT_TRUE(RecoverDataPack(run, pack));
    EXPECT_EQ(ReadWholeFile(pack), original);
}

} // namespace
} // namespace eitool
