// End-to-end runs of extractions that end early (killed, aborted by a signal, a full disk) and of
// two runs into one target: every piece is complete or absent at its name, and no result.log
// pairs with the pieces of an unfinished run.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "samples/SampleFont.h"
#include "samples/SampleTexture.h"
#include "support/FilesBelow.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace eitool::testing {
namespace {

namespace fs = std::filesystem;

// game/a.tre with 24 pieces, one of them 20,000 bytes, extracted into out/; then the piece
// folder is deleted, result.log stays.
struct Reextraction {
    TempDir dir;
    std::vector<samples::PackMember> members;
    Bytes original;
    std::string pack = dir / "game/a.tre";
    std::string target = dir / "out";
    std::string log = dir / "out/result.log";
    std::string setAside = dir / "out/result.log.eitool-old";
    TextLines oldLog;
    std::vector<std::size_t> pieces; // the members that have a piece

    Reextraction() {
        std::vector<std::uint32_t> nonEmpty;
        for (std::uint32_t i = 0; i < 2500; i += 110) {
            nonEmpty.push_back(i);
        }
        members = FewMembers(4, nonEmpty);
        members[nonEmpty[3]].data.assign(20000, 0x5C);
        original = samples::BuildPack(members);
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, original);
        EXPECT_EQ(Extract().exitCode, 0);
        oldLog = LoadTextLines(log);
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (oldLog.at(k + 2) != "NULL") {
                pieces.push_back(k);
            }
        }
        RemoveTree(target + "/BIN");
    }

    ProcessResult Extract(const RunOptions& options = {}) const {
        return RunEitool({"extract", "--target", target, pack}, options);
    }

    // Every piece is absent or holds its member's bytes, whatever else lies beside it.
    void ExpectNoCutPiece(const std::string& when) const {
        const auto directory = samples::ReadPackDirectory(original);
        for (const std::size_t k : pieces) {
            const std::string& path = oldLog.at(k + 2);
            const auto member = original.begin() + directory[k].offset;
            if (FileExists(path)) {
                EXPECT_TRUE(ReadWholeFile(path) == Bytes(member, member + directory[k].size))
                    << when << ": " << path;
            }
        }
    }

    std::size_t LeftTemporaries() const {
        std::size_t count = 0;
        for (const auto& [path, bytes] : FilesBelow(target)) {
            count += path.ends_with(".eitool-new") ? 1 : 0;
        }
        return count;
    }
};

// The write hook sees the setting aside of result.log, every piece's naming and the new log: a
// kill at any of them leaves no cut piece, no log beside an unfinished run's pieces, and the next
// extraction and insertion go as if nothing had happened.
TEST(CliEndedExtraction, AReextractionKilledAtRandomMomentsLeavesNoCutPieceForTheLog) {
    Reextraction setup;
    const long writes = static_cast<long>(setup.pieces.size()) + 2;
    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    std::vector<long> moments = {1, 2, writes};
    for (int i = 0; i < 3; ++i) {
        moments.push_back(std::uniform_int_distribution<long>(3, writes - 1)(random));
    }
    for (const long k : moments) {
        const std::string when =
            "killed at write " + std::to_string(k) + " (seed " + std::to_string(seed) + ")";
        const ProcessResult killed =
            setup.Extract(WithEnvironment("EITOOL_TEST_KILL_AT_WRITE", std::to_string(k)));
        ASSERT_EQ(killed.signal, kKilledSignal) << when << killed.err;
        setup.ExpectNoCutPiece(when);
        if (k == 1) {
            EXPECT_EQ(LoadTextLines(setup.log), setup.oldLog) << when;
        } else {
            EXPECT_FALSE(FileExists(setup.log)) << when;
            EXPECT_EQ(LoadTextLines(setup.setAside), setup.oldLog) << when;
            const ProcessResult insert = RunEitool({"insert", "--target", setup.target, setup.log});
            EXPECT_EQ(insert.exitCode, 3) << when;
        }
        EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original) << when;

        const ProcessResult again = setup.Extract();
        EXPECT_EQ(again.exitCode, 0) << when << again.err << again.out;
        EXPECT_EQ(setup.LeftTemporaries(), 0u) << when;
        EXPECT_FALSE(FileExists(setup.setAside)) << when;
        EXPECT_EQ(LoadTextLines(setup.log), setup.oldLog) << when;
        const ProcessResult insert = RunEitool({"insert", "--target", setup.target, setup.log});
        EXPECT_EQ(insert.exitCode, 0) << when << insert.err;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original) << when;
        RemoveTree(setup.target + "/BIN");
    }
}

// A full disk at the n-th write: a clear error naming the file, no temporary left, no cut piece,
// and the old log still set aside rather than beside pieces it does not describe.
TEST(CliEndedExtraction, AFullDiskLeavesNoCutPieceAndAClearError) {
    Reextraction setup;
    for (const long k : {2L, 5L}) {
        const ProcessResult full =
            setup.Extract(WithEnvironment("EITOOL_TEST_NO_SPACE_AT_WRITE", std::to_string(k)));
        EXPECT_EQ(full.exitCode, 3) << k;
        EXPECT_NE(full.err.find(setup.oldLog.at(setup.pieces[k - 2] + 2) +
                                ": cannot write the file (No space left on device)"),
                  std::string::npos)
            << full.err;
        EXPECT_EQ(setup.LeftTemporaries(), 0u) << k;
        setup.ExpectNoCutPiece("no space at " + std::to_string(k));
        EXPECT_FALSE(FileExists(setup.log)) << k;
        EXPECT_EQ(LoadTextLines(setup.setAside), setup.oldLog) << k;
        RenameFile(setup.setAside, setup.log);
    }
}

// Each format sets the old log aside just before its first file is named, and the run that
// completes removes it.
TEST(CliEndedExtraction, EveryFormatSetsTheOldLogAsideBeforeItsFirstFile) {
    TempDir dir;
    CreateDirectories(dir / "game");
    WriteWholeFile(dir / "game/a.tre", samples::BuildPack(FewMembers(1, {0, 2534})));
    WriteWholeFile(dir / "game/t.bmpx",
                   samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, 3)));
    const samples::SampleFont font = samples::MakeSampleFont();
    WriteWholeFile(dir / "game/font_main.fnt", samples::BuildFont(font.tables));
    font.sheet.SaveToFile(dir / "game/font_main.bmp");
    for (const char* input : {"game/a.tre", "game/t.bmpx", "game/font_main.fnt"}) {
        const std::string target = dir / (std::string("out-") + input[5]);
        const std::vector<std::string> args = {"extract", "--target", target, dir / input};
        ASSERT_EQ(RunEitool(args).exitCode, 0) << input;
        const TextLines log = LoadTextLines(target + "/result.log");
        RemoveFileQuietly(log.at(2));
        const ProcessResult killed =
            RunEitool(args, WithEnvironment("EITOOL_TEST_KILL_AT_WRITE", "2"));
        EXPECT_EQ(killed.signal, kKilledSignal) << input;
        EXPECT_FALSE(FileExists(target + "/result.log")) << input;
        EXPECT_EQ(LoadTextLines(target + "/result.log.eitool-old"), log) << input;
        EXPECT_EQ(RunEitool(args).exitCode, 0) << input;
        EXPECT_EQ(LoadTextLines(target + "/result.log"), log) << input;
        EXPECT_FALSE(FileExists(target + "/result.log.eitool-old")) << input;
    }
}

#ifndef _WIN32
// Two packs, the second aborted at its third piece by SIGTERM, SIGHUP or a second Ctrl-C: it ends
// between two pieces, result.log lists the first pack only, every piece is complete, and an edit
// of the first pack goes in through that log.
TEST(CliEndedExtraction, SigtermSighupAndASecondCtrlCAbortBetweenPiecesAndLogTheFinishedFiles) {
    TempDir dir;
    CreateDirectories(dir / "game");
    const auto first = FewMembers(1, {0, 1});
    auto second = FewMembers(1, {0, 1, 2, 3, 4, 5});
    for (auto& member : second) {
        member.name = "n" + member.name;
    }
    WriteWholeFile(dir / "game/a.tre", samples::BuildPack(first));
    WriteWholeFile(dir / "game/b.tre", samples::BuildPack(second));
    // Writes: the pieces of a.tre (two and the names list), then those of b.tre; the signal comes
    // before the third of b.tre is named.
    struct Case {
        int signal;
        const char* at;
        const char* cause;
    };
    for (const Case& c : {Case{SIGTERM, "6", "SIGTERM"}, Case{SIGHUP, "6", "SIGHUP"},
                          Case{SIGINT, "5,6", "Ctrl-C"}}) {
        const std::string target = dir / (std::string("out-") + c.cause);
        RunOptions options = WithEnvironment("EITOOL_TEST_INTERRUPT_AT_WRITE", c.at);
        options.env.emplace_back("EITOOL_TEST_SIGNAL", std::to_string(c.signal));
        const ProcessResult run = RunEitool(
            {"extract", "--target", target, dir / "game/a.tre", dir / "game/b.tre"}, options);
        EXPECT_EQ(run.exitCode, 130) << c.cause << run.err;
        EXPECT_NE(run.err.find("b.tre: aborted after"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("result.log lists the 1 file(s) finished"), std::string::npos)
            << run.err;
        const TextLines log = LoadTextLines(target + "/result.log");
        ASSERT_EQ(log.size(), first.size() + 2) << c.cause;
        EXPECT_EQ(log[1], "#Source: " + dir / "game/a.tre");
        std::size_t written = 0;
        for (const auto& [path, bytes] : FilesBelow(target + "/BIN")) {
            const std::string name = fs::path(path).filename().string();
            ASSERT_EQ(name.find(".eitool-new"), std::string::npos) << path;
            if (name.find("_nm") != std::string::npos) {
                const std::size_t i = std::stoul(name.substr(name.find("_nm") + 3));
                EXPECT_TRUE(bytes == second[i].data) << path;
                ++written;
            }
        }
        EXPECT_EQ(written, 3u) << c.cause;
        if (c.signal != SIGINT) {
            continue;
        }
        // The log of the finished pack still leads its edited piece back in.
        std::string edited;
        for (const auto& [path, bytes] : FilesBelow(target + "/BIN")) {
            if (bytes == first[0].data && path.find("_nm") == std::string::npos) {
                edited = path;
            }
        }
        ASSERT_FALSE(edited.empty());
        std::vector<std::uint8_t> changed = first[0].data;
        changed.front() ^= 0x5A;
        WriteWholeFile(edited, changed);
        const ProcessResult insert =
            RunEitool({"insert", "--target", target, target + "/result.log"});
        EXPECT_EQ(insert.exitCode, 0) << insert.err;
        const std::vector<std::uint8_t> pack = ReadWholeFile(dir / "game/a.tre");
        EXPECT_NE(std::search(pack.begin(), pack.end(), changed.begin(), changed.end()),
                  pack.end());
    }
}

// During an insertion SIGTERM and SIGHUP put the pack back from its journal, as a second Ctrl-C
// does.
TEST(CliEndedExtraction, SigtermAndSighupDuringAnInsertionPutThePackBack) {
    Reextraction setup;
    ASSERT_EQ(setup.Extract().exitCode, 0);
    WriteWholeFile(setup.oldLog.at(setup.pieces[0] + 2), {1, 2});
    WriteWholeFile(setup.oldLog.at(setup.pieces[5] + 2), {3});
    for (const int signal : {SIGTERM, SIGHUP}) {
        RunOptions options = WithEnvironment("EITOOL_TEST_INTERRUPT_AT_WRITE", "1");
        options.env.emplace_back("EITOOL_TEST_SIGNAL", std::to_string(signal));
        const ProcessResult run =
            RunEitool({"insert", "--target", setup.target, setup.log}, options);
        EXPECT_EQ(run.exitCode, 130) << signal << run.err;
        EXPECT_NE(run.err.find("the pack was restored from its journal"), std::string::npos)
            << run.err;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original) << signal;
        EXPECT_FALSE(FileExists(setup.pack + ".eitool-journal")) << signal;
    }
}

// A run held by SIGSTOP at its first write keeps its target locked: another extraction or an
// insertion into it is refused at once and changes nothing there; another target is free.
TEST(CliEndedExtraction, ASecondRunIntoTheSameTargetIsRefusedAtOnce) {
    Reextraction setup;
    const std::string otherPack = setup.dir / "game/b.tre";
    WriteWholeFile(otherPack, samples::BuildPack(FewMembers(1, {3})));
    RunOptions held = WithEnvironment("EITOOL_TEST_INTERRUPT_AT_WRITE", "1");
    held.env.emplace_back("EITOOL_TEST_SIGNAL", std::to_string(SIGSTOP));
    held.whileRunning = [&](int, pid_t pid, std::string&) {
        struct Continue {
            pid_t pid;
            ~Continue() { kill(pid, SIGCONT); }
        } const resume{pid};
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
        ASSERT_TRUE(WIFSTOPPED(status));
        const auto before = FilesBelow(setup.target);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"extract", "--target", setup.target, otherPack},
              std::vector<std::string>{"insert", "--target", setup.target, setup.log}}) {
            const ProcessResult second = RunEitool(args);
            EXPECT_EQ(second.exitCode, 3) << args[0];
            EXPECT_NE(second.err.find(setup.target + ": "), std::string::npos) << second.err;
            EXPECT_NE(second.err.find("it is in use by another process"), std::string::npos)
                << second.err;
        }
        EXPECT_EQ(FilesBelow(setup.target), before);
        EXPECT_EQ(RunEitool({"extract", "--target", setup.dir / "elsewhere", otherPack}).exitCode,
                  0);
    };
    const ProcessResult first = setup.Extract(held);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(LoadTextLines(setup.log), setup.oldLog);
}
#endif

} // namespace
} // namespace eitool::testing
