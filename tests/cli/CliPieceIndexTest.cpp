// The index of a log's pieces through the real binary: an insertion that takes unchanged pieces
// from it gives the pack that reading every piece gives, whatever was edited and wherever a run
// was killed.
#include "cli/RunEitool.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "run/PieceIndex.h"
#include "samples/SamplePack.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace eitool {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::RunEitool;
using testing::RunOptions;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// The same pack extracted into two work folders, a and b.
struct TwoWorkFolders {
    TempDir dir;
    Bytes original = samples::BuildPack(samples::MakeRealisticMembers(2600, 25, 64));

    TwoWorkFolders() {
        for (const char* w : {"a", "b"}) {
            CreateDirectories(dir / w);
            WriteWholeFile(Pack(w), original);
            const ProcessResult run = RunEitool({"extract", "--target", Out(w), Pack(w)});
            EXPECT_EQ(run.exitCode, 0) << run.err;
        }
    }

    std::string Pack(const std::string& w) const { return dir / (w + "/game.tre"); }
    std::string Out(const std::string& w) const { return dir / (w + "/out"); }
    std::string Log(const std::string& w) const { return dir / (w + "/out/result.log"); }
    // The k-th entry line that names a piece.
    std::string Piece(const std::string& w, std::size_t k) const { return Pieces(w).at(k); }
    TextLines Pieces(const std::string& w) const {
        const TextLines lines = LoadTextLines(Log(w));
        TextLines pieces;
        std::copy_if(lines.begin() + 2, lines.end(), std::back_inserter(pieces),
                     [](const std::string& line) { return line != "NULL"; });
        return pieces;
    }

    // Pieces are taken from the index however recent their times (EITOOL_TEST_INDEX_MARGIN_MS).
    ProcessResult Insert(const std::string& w, std::vector<std::string> options = {},
                         int killAt = 0) const {
        RunOptions run;
        run.env.emplace_back("EITOOL_TEST_INDEX_MARGIN_MS", "-3600000");
        if (killAt > 0) {
            run.env.emplace_back("EITOOL_TEST_KILL_AT_WRITE", std::to_string(killAt));
        }
        std::vector<std::string> args = {"insert", "--progress", "--target", Out(w)};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(Log(w));
        return RunEitool(args, run);
    }

    // Edits in both folders alike, once the file system's clock has passed the pieces' times.
    void Edit() const {
        const std::string probe = dir / "probe";
        const std::int64_t extracted = SignatureOfPath(Log("b"))->changed;
        do {
            WriteWholeFile(probe, {});
        } while (SignatureOfPath(probe)->modified <= extracted);
        for (const std::string w : {"a", "b"}) {
            // Same size, its modification time set back.
            const std::string same = Piece(w, 3);
            const auto time = fs::last_write_time(same);
            Bytes bytes = ReadWholeFile(same);
            bytes[0] ^= 0xFF;
            WriteWholeFile(same, bytes);
            fs::last_write_time(same, time);
            // Shorter, grown, and replaced by a rename with its old time.
            WriteWholeFile(Piece(w, 5), Bytes(fs::file_size(Piece(w, 5)) / 2, 1));
            WriteWholeFile(Piece(w, 7), Bytes(fs::file_size(Piece(w, 7)) + 1, 7));
            const std::string renamed = Piece(w, 9);
            const std::string copy = dir / (w + "/new.bin");
            WriteWholeFile(copy, Bytes(fs::file_size(renamed), 0x5A));
            fs::last_write_time(copy, fs::last_write_time(renamed));
            fs::rename(copy, renamed);
            fs::remove(Piece(w, 11));
        }
    }
};

TEST(CliPieceIndex, EditedPiecesGiveTheSamePackWithTheIndexAsReadingEveryPiece) {
    TwoWorkFolders folders;
    const ProcessResult filled = folders.Insert("a");
    ASSERT_EQ(filled.exitCode, 0) << filled.err;
    ASSERT_TRUE(FileExists(PieceIndexPath(folders.Log("a"))));
    folders.Edit();

    const ProcessResult dry = folders.Insert("a", {"--dry-run"});
    EXPECT_NE(dry.err.find("unchanged pieces known from the index"), std::string::npos) << dry.err;
    const ProcessResult indexed = folders.Insert("a");
    const ProcessResult read = folders.Insert("b", {"--no-index"});
    EXPECT_EQ(indexed.exitCode, 1) << indexed.err; // the grown piece
    EXPECT_EQ(read.exitCode, 1) << read.err;
    EXPECT_NE(indexed.err.find("3 pieces inserted"), std::string::npos) << indexed.err;
    EXPECT_EQ(read.err.find("known from the index"), std::string::npos) << read.err;
    EXPECT_TRUE(ReadWholeFile(folders.Pack("a")) == ReadWholeFile(folders.Pack("b")));
    EXPECT_TRUE(ReadWholeFile(folders.Pack("a")) != folders.original);
    // --no-index writes the index anew from what it read: all but the grown and the missing
    // piece are known.
    const std::string known =
        std::to_string(folders.Pieces("b").size() - 2) + " unchanged pieces known from the index";
    const ProcessResult again = folders.Insert("b");
    EXPECT_NE(again.err.find(known), std::string::npos) << again.err;
}

TEST(CliPieceIndex, AnInsertionKilledAtAnyWriteLeavesNoIndexThatHidesAnEdit) {
    TwoWorkFolders folders;
    ASSERT_EQ(folders.Insert("a").exitCode, 0);
    folders.Edit();
    ASSERT_EQ(folders.Insert("b", {"--no-index"}).exitCode, 1);
    const Bytes reference = ReadWholeFile(folders.Pack("b"));

    const std::string pending = PieceIndexPath(folders.Log("a")) + ".eitool-new";
    bool killedWritingTheIndex = false;
    int k = 1;
    for (; k <= 60; ++k) {
        // The pack as extracted: the edited pieces differ from it again. A piece written again
        // with its own bytes gives the index something new to write.
        WriteWholeFile(folders.Pack("a"), folders.original);
        WriteWholeFile(folders.Piece("a", 3), ReadWholeFile(folders.Piece("a", 3)));
        const ProcessResult dying = folders.Insert("a", {}, k);
        if (dying.signal == 0) {
            EXPECT_EQ(dying.exitCode, 1) << k << dying.err;
            break;
        }
        ASSERT_EQ(dying.signal, testing::kKilledSignal) << k;
        killedWritingTheIndex = killedWritingTheIndex || FileExists(pending);
        const ProcessResult next = folders.Insert("a");
        EXPECT_EQ(next.exitCode, 1) << k << next.err;
        EXPECT_TRUE(ReadWholeFile(folders.Pack("a")) == reference) << k;
    }
    EXPECT_LE(k, 60);
    EXPECT_TRUE(killedWritingTheIndex);
    EXPECT_FALSE(FileExists(pending));
}

} // namespace
} // namespace eitool
