// End-to-end runs of `insert --grow`: the whole cycle of growths through the binary, and a rebuild
// killed at every write.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "formats/DataPack.h"
#include "samples/SamplePack.h"
#include "support/Platform.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace eitool::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A pack of 2600 members, reached through a link where the system has them, extracted into out/.
struct GrowingPack {
    TempDir dir;
    Bytes original = samples::BuildPack(samples::MakeRealisticMembers(2600, 23, 64));
    std::string pack = dir / "game/real.tre";
    std::string alias = dir / "game/alias.tre";
    std::string target = dir / "out";
    std::string log = dir / "out/result.log";
    std::string temporary = dir / "game/real.tre.eitool-new";
    TextLines entryLines;

    GrowingPack() {
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, original);
#ifdef _WIN32
        alias = pack;
#else
        fs::create_symlink("real.tre", alias);
#endif
        EXPECT_EQ(RunEitool({"extract", "--target", target, alias}).exitCode, 0);
        entryLines = Entries(log);
    }

    static TextLines Entries(const std::string& log) {
        const TextLines lines = LoadTextLines(log);
        return TextLines(lines.begin() + 2, lines.end());
    }

    // The k-th piece that is there, counted from the end of the pack.
    std::string PieceFromEnd(std::size_t k) const {
        for (std::size_t at = entryLines.size(); at-- > 0;) {
            if (entryLines[at] != "NULL" && k-- == 0) {
                return entryLines[at];
            }
        }
        return {};
    }

    ProcessResult Insert(std::vector<std::string> extra = {}, RunOptions options = {}) const {
        std::vector<std::string> args = {"insert", "--target", target};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(log);
        return RunEitool(args, options);
    }
};

void Append(const std::string& piece, std::size_t count, std::uint8_t value) {
    Bytes bytes = ReadWholeFile(piece);
    bytes.insert(bytes.end(), count, value);
    WriteWholeFile(piece, bytes);
}

TEST(CliGrow, GrowthsGoInAndTheLogStaysValidThroughEveryStepOfTheCycle) {
    GrowingPack setup;
    // A piece early in the pack grows, so that almost every member moves; one near the end too.
    const std::string early =
        setup.entryLines.at(3) != "NULL" ? setup.entryLines.at(3) : setup.entryLines.at(4);
    const std::string late = setup.PieceFromEnd(1);
    Append(early, 300, 'x');
    Append(late, 5, 'y');

    const ProcessResult dry = setup.Insert({"--dry-run", "--grow"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find("grow      " + early + " ("), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("rebuild   " + setup.alias + " (2 pieces grew by 305 bytes in all; "),
              std::string::npos)
        << dry.out;
    EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original);

    const ProcessResult grow = setup.Insert({"--grow"});
    EXPECT_EQ(grow.exitCode, 0) << grow.err;
    EXPECT_EQ(grow.out, "");
    EXPECT_NE(grow.err.find(setup.alias + " rebuilt: 2 pieces grew by 305 bytes in all, "),
              std::string::npos)
        << grow.err;
    EXPECT_FALSE(FileExists(setup.temporary));
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(setup.alias)) << "the link stays a link to the rebuilt pack";
#endif
    const Bytes rebuilt = ReadWholeFile(setup.pack);
    EXPECT_GT(rebuilt.size(), setup.original.size() + 304);
    EXPECT_EQ(RunEitool({"verify", setup.alias}).exitCode, 0);

    // The same log again changes nothing, with or without --grow.
    EXPECT_EQ(setup.Insert().exitCode, 0);
    EXPECT_EQ(setup.Insert({"--grow"}).exitCode, 0);
    EXPECT_TRUE(ReadWholeFile(setup.pack) == rebuilt);

    // An extraction gives the same piece names and the grown pieces' bytes.
    const std::string again = setup.dir / "again";
    ASSERT_EQ(RunEitool({"extract", "--target", again, setup.alias}).exitCode, 0);
    const TextLines lines = GrowingPack::Entries(again + "/result.log");
    ASSERT_EQ(lines.size(), setup.entryLines.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_EQ(FileNamePart(lines[k]), FileNamePart(setup.entryLines[k])) << k;
        if (lines[k] != "NULL") {
            EXPECT_TRUE(ReadWholeFile(lines[k]) == ReadWholeFile(setup.entryLines[k])) << k;
        }
    }

    // The same piece grows a second time.
    Append(early, 4000, 'z');
    const ProcessResult second = setup.Insert({"--grow"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.err.find(" rebuilt: 1 piece grew by 4000 bytes in all, "), std::string::npos)
        << second.err;
    EXPECT_EQ(RunEitool({"verify", setup.alias}).exitCode, 0);
    EXPECT_EQ(setup.Insert().exitCode, 0);
}

TEST(CliGrow, ARebuildKilledAtEveryWriteLeavesTheOldPackOrTheNewOne) {
    GrowingPack setup;
    Append(setup.entryLines.at(10) != "NULL" ? setup.entryLines.at(10) : setup.entryLines.at(11),
           70, 'x');
    const std::string shorter = setup.PieceFromEnd(3);
    Bytes cut = ReadWholeFile(shorter);
    cut.pop_back();
    WriteWholeFile(shorter, cut);
    ASSERT_EQ(setup.Insert({"--grow"}).exitCode, 0);
    const Bytes reference = ReadWholeFile(setup.pack);
    const std::string journal = DataPackJournalPath(setup.pack);

    int k = 1;
    for (; k <= 30; ++k) {
        WriteWholeFile(setup.pack, setup.original);
        const ProcessResult dying = setup.Insert(
            {"--grow"}, WithEnvironment("EITOOL_TEST_KILL_AT_WRITE", std::to_string(k)));
        if (dying.signal == 0) {
            EXPECT_EQ(dying.exitCode, 0) << k << dying.err;
            EXPECT_TRUE(ReadWholeFile(setup.pack) == reference) << k;
            break;
        }
        ASSERT_EQ(dying.signal, kKilledSignal) << k;
        const Bytes left = ReadWholeFile(setup.pack);
        EXPECT_TRUE(left == setup.original || left == reference) << k;
        for (const auto& entry : fs::directory_iterator(setup.dir / "game")) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "real.tre" || name == "alias.tre" || name == "real.tre.eitool-new")
                << k << ": " << name;
        }

        const ProcessResult next = setup.Insert({"--grow"});
        EXPECT_EQ(next.exitCode, 0) << k << next.err;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == reference) << k;
        EXPECT_FALSE(FileExists(setup.temporary)) << k;
        EXPECT_FALSE(FileExists(journal)) << k;
    }
    EXPECT_GT(k, 3) << "the pieces, the directory and the rename are each a write";
    EXPECT_LE(k, 30);
}

} // namespace
} // namespace eitool::testing
