// End-to-end tests of the insertion journal through the real binary: a pack reached through a
// link, and a journal that does not belong to the pack.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "formats/DataPack.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace eitool::testing {
namespace {

namespace fs = std::filesystem;

// game/real.tre, reached through the link game/alias.tre, extracted through the link into out/
// with two of its pieces edited.
struct LinkedPack {
    TempDir dir;
    Bytes original = samples::BuildPack(FewMembers(3, {0, 1, 2, 3, 2535}));
    std::string pack = dir / "game/real.tre";
    std::string alias = dir / "game/alias.tre";
    std::string journal = dir / "game/real.tre.eitool-journal";
    std::string log = dir / "out/result.log";
    TextLines entryLines;

    LinkedPack() {
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, original);
        fs::create_symlink("real.tre", alias);
        const ProcessResult run = RunEitool({"extract", "--target", dir / "out", alias});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const TextLines lines = LoadTextLines(log);
        entryLines.assign(lines.begin() + 2, lines.end());
        EXPECT_NE(entryLines.at(2535), "NULL");
        WriteWholeFile(entryLines.at(0), {0xA0});
        WriteWholeFile(entryLines.at(2535), {0xB0, 0xB1});
    }

    ProcessResult Insert(int killAt = 0) const {
        RunOptions options;
        if (killAt > 0) {
            options.env.emplace_back("EITOOL_TEST_KILL_AT_WRITE", std::to_string(killAt));
        }
        return RunEitool({"insert", "--target", dir / "out", log}, options);
    }
};

TEST(CliJournal, AnInsertionThroughALinkKilledAtEveryWriteIsPutRightThroughTheRealName) {
    EITOOL_SKIP_ON_WINDOWS(kNoLinks);
    LinkedPack setup;
    ASSERT_EQ(DataPackJournalPath(setup.alias), setup.journal);
    ASSERT_EQ(setup.Insert().exitCode, 0);
    const Bytes reference = ReadWholeFile(setup.pack);
    ASSERT_TRUE(reference != setup.original);

    int k = 1;
    bool touchedOnce = false;
    for (; k <= 50; ++k) {
        WriteWholeFile(setup.pack, setup.original);
        const ProcessResult dying = setup.Insert(k);
        if (dying.signal == 0) {
            EXPECT_EQ(dying.exitCode, 0) << k << dying.err;
            break;
        }
        ASSERT_EQ(dying.signal, kKilledSignal) << k;
        EXPECT_FALSE(FileExists(setup.alias + ".eitool-journal")) << k;
        const Bytes after = ReadWholeFile(setup.pack);
        // Killed before the first write of the pack, or after its insertion was complete (while
        // the log's index was written).
        if (after == setup.original || (after == reference && !FileExists(setup.journal))) {
            continue;
        }
        touchedOnce = true;
        ASSERT_TRUE(FileExists(setup.journal)) << k << ": the pack changed without a journal";
        const ProcessResult next =
            RunEitool({"extract", "--target", setup.dir / "again", setup.pack});
        EXPECT_EQ(next.exitCode, 1) << k << next.err;
        EXPECT_EQ(next.out, setup.pack + " was restored from an interrupted insertion.\n") << k;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original) << k;
        EXPECT_FALSE(FileExists(setup.journal)) << k;
    }
    EXPECT_LE(k, 50);
    EXPECT_TRUE(touchedOnce);

    // Completed through the link, the insertion stays when the real name is used afterwards.
    WriteWholeFile(setup.pack, setup.original);
    ASSERT_EQ(setup.Insert().exitCode, 0);
    // The pieces of the original pack in again/ differ from the inserted members they replace.
    const ProcessResult again =
        RunEitool({"extract", "--overwrite", "--target", setup.dir / "again", setup.pack});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(ReadWholeFile(setup.pack) == reference);
}

TEST(CliJournal, AJournalOfAnotherPackIsRefusedAndKept) {
    EITOOL_SKIP_ON_WINDOWS(kNoLinks);
    LinkedPack setup;
    // The journal of a copy, left by an insertion killed just before its first write there.
    const std::string copy = setup.dir / "game/copy.tre";
    WriteWholeFile(copy, setup.original);
    TextLines log = LoadTextLines(setup.log);
    log[1] = "#Source: " + copy;
    SaveTextLines(setup.log, log);
    int k = 1;
    for (; k <= 20 && !FileExists(copy + ".eitool-journal"); ++k) {
        ASSERT_EQ(setup.Insert(k).signal, kKilledSignal) << k;
    }
    ASSERT_TRUE(ReadWholeFile(copy) == setup.original);
    fs::rename(copy + ".eitool-journal", setup.journal);
    const Bytes planted = ReadWholeFile(setup.journal);

    const ProcessResult run = RunEitool({"extract", "--target", setup.dir / "again", setup.alias});

    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find(setup.journal + ": this journal was not written for " + setup.alias),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("restore it through the pack it was written for"), std::string::npos)
        << run.err;
    EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original);
    EXPECT_TRUE(ReadWholeFile(setup.journal) == planted);
}

} // namespace
} // namespace eitool::testing
