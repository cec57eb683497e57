#include "formats/DataPackJournal.h"

#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace eitool {
namespace {

using samples::BuildPack;
using samples::ReadPackDirectory;
namespace fs = std::filesystem;
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

// A disk that fills up: every write from failFrom on fails.
class DiskFullHook : public WriteHook {
public:
    explicit DiskFullHook(int failFrom) : m_failFrom(failFrom) {}
    void BeforeWrite(const std::string& path) override {
        if (++m_calls >= m_failFrom) {
            throw FileWriteError(path, "write failed: No space left on device");
        }
    }

private:
    int m_failFrom;
    int m_calls = 0;
};

class ExitingHook : public WriteHook {
public:
    explicit ExitingHook(int exitAt) : m_exitAt(exitAt) {}
    void BeforeWrite(const std::string&) override {
        if (++m_calls == m_exitAt) {
#ifdef SIGKILL
            raise(SIGKILL); // as a kill would: no thread is joined, nothing is flushed
#else
            _exit(9);
#endif
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
        members[3].data.assign(4608 * 1024, 0x33);
        original = BuildPack(members);
        pack = bench.WritePack("data.tre", original);
        journal = DataPackJournalPath(pack);
        pendingJournal = PendingFile::TemporaryPathOf(journal);
        lines = bench.Extract(pack);
        WriteWholeFile(lines[0], {0x10, 0x11});
        WriteWholeFile(lines[1], {0x20, 0x21, 0x22, 0x23});
        WriteWholeFile(lines[2], {});
        WriteWholeFile(lines[3], Bytes(4608 * 1024 - 1, 0x44));

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

    bool ReportsRestore(const std::string& name = {}) const {
        return std::count(bench.surface.results.begin(), bench.surface.results.end(),
                          (name.empty() ? pack : name) +
                              " was restored from an interrupted insertion.") == 1;
    }

    // Runs the insertion, through the pack's name `through`, in a child process that dies at
    // write exitAt.
    void KillInsertionAt(int exitAt, const std::string& through = {}) {
#ifdef _WIN32
        (void)exitAt;
        (void)through;
        FAIL() << "no fork on Windows";
#else
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ExitingHook hook(exitAt);
            try {
                bench.Insert(through.empty() ? pack : through, lines, &hook);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_EQ(WTERMSIG(status), SIGKILL);
#endif
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
    EXPECT_EQ(entries[3].crc, Crc32Update(0, Bytes(4608 * 1024 - 1, 0x44)));
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

// Stop pressed a second time before any write of the insertion (0: before it starts): the
// insertion is aborted between two pieces and the pack put back from its journal, or, pressed at
// the last writes, it completes. No journal is left either way.
TEST_F(DataPackJournal, SecondStopAtAnyWriteAbortsAndRestoresOrLetsThePackComplete) {
    class SecondStopHook : public WriteHook {
    public:
        SecondStopHook(RunState& state, int at) : m_state(state), m_at(at) {}
        void BeforeWrite(const std::string&) override {
            if (++m_calls == m_at) {
                m_state.StopTag = 2;
            }
        }

    private:
        RunState& m_state;
        int m_at;
        int m_calls = 0;
    };
    std::set<std::string> outcomes;
    for (int i = 0; i <= static_cast<int>(writes.size()); ++i) {
        SCOPED_TRACE("second stop at write " + std::to_string(i));
        WriteWholeFile(pack, original);
        bench.state.StopTag = i == 0 ? 2 : 1;
        bench.state.CompletedPacks.clear();
        SecondStopHook hook(bench.state, i);
        try {
            bench.Insert(pack, lines, &hook);
            outcomes.insert("completed");
            EXPECT_EQ(ReadWholeFile(pack), inserted);
            EXPECT_EQ(bench.state.CompletedPacks, TextLines{pack});
        } catch (const RunAborted& aborted) {
            const std::string message = aborted.what();
            outcomes.insert(message.substr(message.find(": ") + 2));
            EXPECT_EQ(message.rfind(pack + ": ", 0), 0u) << message;
            EXPECT_EQ(ReadWholeFile(pack), original);
            EXPECT_TRUE(bench.state.CompletedPacks.empty());
        }
        EXPECT_FALSE(FileExists(journal));
        EXPECT_FALSE(FileExists(pendingJournal));
    }
    EXPECT_EQ(outcomes,
              (std::set<std::string>{
                  "completed",
                  "the insertion was aborted before anything was written; the pack is unchanged",
                  "the insertion was aborted; the pack was restored from its journal"}));
}

TEST_F(DataPackJournal, KilledInsertionIsUndoneByTheNextRun) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoFork);
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

struct HandMadeRange {
    std::uint64_t offset;
    std::uint32_t length; // the length field; data may hold fewer bytes
    Bytes data;
};

// The header fields of a hand-made journal: the pack's identity and size.
struct Header {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::uint64_t packSize = 0;
    const char* magic = "EITJRNL2";
};

Header HeaderOf(const std::string& packPath) {
    const FileIdentity identity = IdentityOfPath(packPath).value();
    return {identity.device, identity.number, identity.size};
}

Header WithSize(Header header, std::uint64_t size) {
    header.packSize = size;
    return header;
}

// A journal laid out field by field, with a correct checksum.
Bytes HandMadeJournal(const Header& header, std::uint32_t count, const Bytes& directory,
                      std::uint32_t rangeCount, const std::vector<HandMadeRange>& ranges,
                      const Bytes& trailer = {}) {
    Bytes out(header.magic, header.magic + 8);                 // magic
    AppendU64le(out, header.device);                           // device of the pack
    AppendU64le(out, header.number);                           // file number of the pack
    AppendU64le(out, header.packSize);                         // size of the pack
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

// A journal of the first format, which recorded the pack's size but not which file it was.
Bytes OldFormatJournal(std::uint64_t packSize, std::uint32_t count, const Bytes& directory) {
    Bytes out = {'E', 'I', 'T', 'J', 'R', 'N', 'L', '1'};
    AppendU64le(out, packSize);
    AppendU32le(out, count);
    out.insert(out.end(), directory.begin(), directory.end());
    AppendU32le(out, 0);
    AppendU32le(out, Crc32Update(0, out));
    return out;
}

TEST_F(DataPackJournal, HandMadeJournalRestoresRangesAndDirectory) {
    const std::uint32_t count = static_cast<std::uint32_t>(ReadPackDirectory(original).size());
    const Bytes directory(original.begin() + 4, original.begin() + 4 + 16 * count);
    WriteWholeFile(pack, inserted);
    const std::uint64_t at = ReadPackDirectory(original)[1].offset;
    const Bytes old(original.begin() + static_cast<std::ptrdiff_t>(at),
                    original.begin() + static_cast<std::ptrdiff_t>(at + 4));
    WriteWholeFile(journal, HandMadeJournal(HeaderOf(pack), count, directory, 1, {{at, 4, old}}));
    RunContext run = bench.Run();
    EXPECT_TRUE(RecoverDataPack(run, pack));
    Bytes expected = inserted;
    std::copy(original.begin() + 4, original.begin() + 4 + 16 * count, expected.begin() + 4);
    std::copy(old.begin(), old.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(ReadWholeFile(pack), expected);
    EXPECT_TRUE(ReportsRestore());
}

TEST_F(DataPackJournal, DamagedJournalIsRefusedAndKept) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoFork);
    // A real journal, left by an insertion killed at its first write into the pack.
    KillInsertionAt(JournalRenameWrite() + 1);
    const Bytes real = ReadWholeFile(journal);
    const Bytes killed = ReadWholeFile(pack);

    const std::uint32_t count = static_cast<std::uint32_t>(ReadPackDirectory(original).size());
    const Bytes directory(original.begin() + 4, original.begin() + 4 + 16 * count);
    const Header header = HeaderOf(pack);
    const std::uint64_t size = header.packSize;
    Header otherFile = header;
    ++otherFile.number;
    Header wrongMagic = header;
    wrongMagic.magic = "EITJRNL9";
    struct Damaged {
        const char* what;
        Bytes bytes;
        std::string says; // part of the message
    };
    Bytes flipped = real;
    flipped[flipped.size() / 2] ^= 0x01;
    const std::string restoreOrMove = "were left alone: restore the pack from a copy unless it "
                                      "is intact, then move the journal away";
    const std::vector<Damaged> damaged = {
        {"truncated", Bytes(real.begin(), real.end() - 1), restoreOrMove},
        {"one bit flipped", flipped, "checksum does not match"},
        {"too short", Bytes(real.begin(), real.begin() + 5), "too short (5 bytes)"},
        {"wrong magic", HandMadeJournal(wrongMagic, count, directory, 0, {}),
         "this is not a data pack journal; it and " + pack + " were left alone: move it away"},
        {"old format", OldFormatJournal(size, count, directory),
         "older format that does not record which pack it was written for, so it is not "
         "applied"},
        {"another file", HandMadeJournal(otherFile, count, directory, 0, {}),
         "this journal was not written for " + pack},
        {"pack size differs", HandMadeJournal(WithSize(header, size + 1), count, directory, 0, {}),
         "when it had " + std::to_string(size + 1) + " bytes"},
        {"entry count differs",
         HandMadeJournal(header, count - 1, Bytes(directory.begin(), directory.end() - 16), 0, {}),
         "directory does not match"},
        {"entry count too large", HandMadeJournal(header, 0xFFFFFFFFu, directory, 0, {}),
         "runs past its end"},
        {"range count too large", HandMadeJournal(header, count, directory, 0xFFFFFFFFu, {}),
         "range 0 runs past"},
        {"range past the pack",
         HandMadeJournal(header, count, directory, 1, {{size - 2, 4, {1, 2, 3, 4}}}),
         "lies outside the pack"},
        {"range offset far past the pack",
         HandMadeJournal(header, count, directory, 1, {{~std::uint64_t{0} - 1, 4, {1, 2, 3, 4}}}),
         "lies outside the pack"},
        {"range past the journal",
         HandMadeJournal(header, count, directory, 1, {{8, 1000, {1, 2}}}),
         "runs past the journal's end"},
        {"bytes after the last range", HandMadeJournal(header, count, directory, 0, {}, {7}),
         "bytes after its last range"},
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
            EXPECT_NE(std::string(error.what()).find(bad.says), std::string::npos) << error.what();
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

TEST_F(DataPackJournal, FullDiskDuringRollbackKeepsTheJournalForTheNextRun) {
    for (int i = JournalRenameWrite() + 1; i <= static_cast<int>(writes.size()); ++i) {
        SCOPED_TRACE("disk full from write " + std::to_string(i));
        WriteWholeFile(pack, original);
        DiskFullHook hook(i);
        try {
            bench.Insert(pack, lines, &hook);
            ADD_FAILURE() << "no error";
        } catch (const FileWriteError& error) {
            const std::string text = error.what();
            EXPECT_EQ(error.Path(), pack);
            EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
            EXPECT_NE(text.find("the pack will be restored from " + journal +
                                " by the next run that opens it: keep the journal"),
                      std::string::npos)
                << text;
        }
        ASSERT_TRUE(FileExists(journal));
        bench.surface = testing::RecordingSurface();
        RunContext run = bench.Run();
        EXPECT_TRUE(RecoverDataPack(run, pack));
        EXPECT_EQ(ReadWholeFile(pack), original);
        EXPECT_TRUE(ReportsRestore());
    }
}

TEST_F(DataPackJournal, JournalOfAnotherPackNeverWritesIntoThisOne) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoFork);
    // A real journal of a copy of the pack, killed before its first write into the copy: right
    // size and count and a valid checksum, but written for another file.
    const std::string other = bench.WritePack("other.tre", original);
    KillInsertionAt(JournalRenameWrite() + 1, other);
    const std::string otherJournal = DataPackJournalPath(other);
    ASSERT_TRUE(FileExists(otherJournal));
    fs::rename(otherJournal, journal);
    const Bytes planted = ReadWholeFile(journal);
    WriteWholeFile(pack, inserted);

    for (const bool extraction : {true, false}) {
        SCOPED_TRACE(extraction ? "extraction" : "insertion");
        try {
            if (extraction) {
                bench.Extract(pack);
            } else {
                bench.Insert(pack, lines);
            }
            ADD_FAILURE() << "applied";
        } catch (const CorruptFileError& error) {
            const std::string text = error.what();
            EXPECT_EQ(error.Path(), journal);
            EXPECT_NE(text.find("this journal was not written for " + pack), std::string::npos);
            EXPECT_NE(text.find("move the journal away if the pack is intact, or restore it "
                                "through the pack it was written for"),
                      std::string::npos)
                << text;
        }
        EXPECT_EQ(ReadWholeFile(pack), inserted);
        EXPECT_EQ(ReadWholeFile(journal), planted);
    }

    // Beside the pack it was written for, it restores that one.
    fs::rename(journal, otherJournal);
    RunContext run = bench.Run();
    EXPECT_TRUE(RecoverDataPack(run, other));
    EXPECT_EQ(ReadWholeFile(other), original);
    EXPECT_EQ(ReadWholeFile(pack), inserted);
}

TEST_F(DataPackJournal, EveryNameOfThePackFindsTheSameJournal) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoFork);
    const std::string alias = bench.dir / "alias.tre";
    fs::create_symlink(pack, alias);
    EXPECT_EQ(DataPackJournalPath(alias), journal);

    // Killed through the link after its first piece: the journal lies beside the pack itself,
    // and the pack's own name restores it.
    KillInsertionAt(JournalRenameWrite() + 2, alias);
    ASSERT_TRUE(FileExists(journal));
    EXPECT_FALSE(FileExists(alias + ".eitool-journal"));
    EXPECT_NE(ReadWholeFile(pack), original);
    {
        RunContext run = bench.Run();
        EXPECT_TRUE(RecoverDataPack(run, pack));
    }
    EXPECT_EQ(ReadWholeFile(pack), original);
    EXPECT_TRUE(ReportsRestore(pack));

    // Killed through the link, then completed through the real name: no journal is left for a
    // later run through the link to undo the insertion with.
    KillInsertionAt(JournalRenameWrite() + 2, alias);
    bench.surface = testing::RecordingSurface();
    bench.Insert(pack, lines);
    EXPECT_TRUE(ReportsRestore(pack));
    EXPECT_EQ(ReadWholeFile(pack), inserted);
    EXPECT_FALSE(FileExists(journal));
    {
        RunContext run = bench.Run();
        EXPECT_FALSE(RecoverDataPack(run, alias));
    }
    bench.Insert(alias, lines);
    EXPECT_EQ(ReadWholeFile(pack), inserted);
}

TEST_F(DataPackJournal, UnfinishedJournalIsDropped) {
    const std::vector<Bytes> unfinished = {{},
                                           {'E', 'I', 'T', 'J'},
                                           {'E', 'I', 'T', 'J', 'R', 'N', 'L', '2', 0, 1, 2},
                                           {'E', 'I', 'T', 'J', 'R', 'N', 'L', '1', 9}};
    for (const Bytes& bytes : unfinished) {
        SCOPED_TRACE(bytes.size());
        WriteWholeFile(pendingJournal, bytes);
        RunContext run = bench.Run();
        EXPECT_FALSE(RecoverDataPack(run, pack));
        EXPECT_FALSE(FileExists(pendingJournal));
        EXPECT_TRUE(bench.surface.results.empty());
        EXPECT_EQ(ReadWholeFile(pack), original);
    }
}

TEST_F(DataPackJournal, WhatIsNotAJournalIsLeftAlone) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoFork);
    // A real journal kept elsewhere, and a file of the user's.
    KillInsertionAt(JournalRenameWrite() + 1);
    const std::string realJournal = bench.dir / "elsewhere.journal";
    fs::rename(journal, realJournal);
    const Bytes realBytes = ReadWholeFile(realJournal);
    const std::string victim = bench.dir / "victim.txt";
    const Bytes victimBytes = {'k', 'e', 'e', 'p'};
    WriteWholeFile(victim, victimBytes);

    struct Planted {
        const char* what;
        std::string at;
        std::function<void(const std::string&)> make;
        const char* says;
    };
    const auto link = [](const std::string& to) {
        return [to](const std::string& at) { fs::create_symlink(to, at); };
    };
#ifdef _WIN32
    const auto fifo = [](const std::string&) {};
#else
    const auto fifo = [](const std::string& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); };
#endif
    const auto text = [](const std::string& at) { WriteWholeFile(at, {'h', 'e', 'l', 'l', 'o'}); };
    const std::vector<Planted> planted = {
        {"journal is a link to a journal", journal, link(realJournal), "this is a link, not a "},
        {"journal is a link to a file", journal, link(victim), "this is a link, not a "},
        {"journal is a FIFO", journal, fifo, "this is a FIFO, not a "},
        {"journal is a directory", journal, [](const std::string& at) { fs::create_directory(at); },
         "this is a directory, not a "},
        {"journal is a text", journal, text, "this is not a data pack journal"},
        {"unfinished journal is a link", pendingJournal, link(victim), "this is a link, not a "},
        {"unfinished journal is a FIFO", pendingJournal, fifo, "this is a FIFO, not a "},
        {"unfinished journal is a text", pendingJournal, text,
         "this is not an unfinished journal of "},
    };
    for (const Planted& entry : planted) {
        SCOPED_TRACE(entry.what);
        entry.make(entry.at);
        const fs::file_type type = fs::symlink_status(entry.at).type();
        RunContext run = bench.Run();
        try {
            RecoverDataPack(run, pack);
            ADD_FAILURE() << "not refused";
        } catch (const CorruptFileError& error) {
            const std::string text = error.what();
            EXPECT_EQ(error.Path(), entry.at);
            EXPECT_NE(text.find(entry.says), std::string::npos) << text;
            EXPECT_NE(text.find("it and " + pack + " were left alone: move it away"),
                      std::string::npos)
                << text;
        }
        EXPECT_EQ(fs::symlink_status(entry.at).type(), type);
        EXPECT_EQ(ReadWholeFile(pack), original);
        EXPECT_EQ(ReadWholeFile(victim), victimBytes);
        EXPECT_EQ(ReadWholeFile(realJournal), realBytes);
        fs::remove(entry.at);
    }
}

// Checks at every write that what is written so far begins as a journal does, so that a run
// killed there leaves a file that the next run recognises as an unfinished journal.
class BeginsAsJournalHook : public WriteHook {
public:
    int badWrites = 0;
    void BeforeWrite(const std::string& path) override {
        if (!std::filesystem::exists(path) || std::filesystem::file_size(path) < 8) {
            return;
        }
        const Bytes bytes = ReadWholeFile(path);
        badWrites += std::string(bytes.begin(), bytes.begin() + 8) == "EITJRNL2" ? 0 : 1;
    }
};

// Journals of many blocks, with the range count in the first block or, behind a directory of
// more than one block, in a later one: the pack is put back as it was when they were written.
TEST(DataPackJournalBlocks, JournalsOfManyBlocksRestoreWhatWasThere) {
    struct Shape {
        std::uint32_t entries;
        std::uint64_t rangeBytes;
    };
    for (const Shape shape : {Shape{3, 9 << 20}, Shape{300000, 6 << 20}}) {
        PackWorkbench bench;
        std::mt19937 random(shape.entries);
        const std::uint64_t directoryEnd = datapack::kDirectoryOffset + 16ull * shape.entries;
        Bytes original(directoryEnd + shape.rangeBytes + 100);
        for (std::uint8_t& byte : original) {
            byte = static_cast<std::uint8_t>(random());
        }
        StoreU32le(original, 0, shape.entries);
        const std::string pack = bench.WritePack("data.tre", original);
        std::vector<datapack::JournalRange> ranges;
        for (std::uint64_t at = directoryEnd + 50; at + (1 << 20) + 3 < original.size();
             at += (1 << 20) + 7) {
            ranges.push_back({at, (1 << 20) + 3});
        }
        Bytes scribbled = original;
        for (std::uint64_t i = datapack::kDirectoryOffset; i < directoryEnd; ++i) {
            scribbled[i] ^= 0xFF;
        }
        for (const datapack::JournalRange& range : ranges) {
            for (std::uint64_t i = range.offset; i < range.offset + range.length; ++i) {
                scribbled[i] ^= 0xFF;
            }
        }
        BeginsAsJournalHook hook;
        {
            RunContext run = bench.Run(&hook);
            FileStream file = FileStream::Open(pack, omReadWrite);
            const Bytes directory(original.begin() + datapack::kDirectoryOffset,
                                  original.begin() + static_cast<std::ptrdiff_t>(directoryEnd));
            datapack::WriteJournal(run, file, directory, ranges, DataPackJournalPath(pack));
            file.Seek(0);
            file.Write(scribbled.data(), scribbled.size());
        }
        RunContext run = bench.Run();
        EXPECT_TRUE(RecoverDataPack(run, pack)) << shape.entries;
        EXPECT_TRUE(ReadWholeFile(pack) == original) << shape.entries;
        EXPECT_EQ(hook.badWrites, 0) << shape.entries;
    }
}

} // namespace
} // namespace eitool
