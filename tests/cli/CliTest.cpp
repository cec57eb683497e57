// End-to-end tests of the eitool command line: they run the real binary in a temporary
// directory and look at its exit status, its standard output and error, and the files it leaves.
#include "cli/RunEitool.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "samples/SamplePack.h"
#include "support/Platform.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>

namespace eitool::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using samples::PackMember;

// Just over the names list's index: 2535 members with tiny data, names of every shape the
// extractor has to handle (directory parts with "\", "/" and ":", mixed-case extensions, no
// extension) and some empty members. The members are laid out in directory order, so the
// offset order is the file order and piece k belongs to member k.
std::vector<PackMember> SmallMembers() {
    std::vector<PackMember> members(samples::kNamesListIndex + 2);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::string stem = "m" + std::to_string(i);
        switch (i % 6) {
        case 0:
            members[i].name = "data\\ui\\" + stem + ".tga";
            break;
        case 1:
            members[i].name = stem + ".bin";
            break;
        case 2:
            members[i].name = "snd/" + stem + ".Wav";
            break;
        case 3:
            members[i].name = stem;
            break;
        case 4:
            members[i].name = "sys:" + stem + ".txt";
            break;
        default:
            members[i].name = stem + ".dat";
            break;
        }
        members[i].third = 0x5A000000u + static_cast<std::uint32_t>(i);
        if (i % 11 == 5) {
            continue; // empty member
        }
        const std::size_t size = 2 + i % 4;
        for (std::size_t b = 0; b < size; ++b) {
            members[i].data.push_back(static_cast<std::uint8_t>((i >> (8 * (b % 2))) + b * 31));
        }
    }
    members[samples::kNamesListIndex].name = "filelist.txt";
    return members;
}

// The piece path extraction must give member k of SmallMembers below target.
std::string ExpectedPiecePath(const std::string& target, std::size_t k, const std::string& name) {
    const std::string file = GameNamePart(name);
    std::string extension = ExtensionPart(file);
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    char index[16];
    std::snprintf(index, sizeof index, "%04zX", k);
    return target + NativePath("/") + UpperAscii(extension) + NativePath("/") + index + "_" + file;
}

// What the pack must hold after member `member` (file order) took `piece`.
void ApplyPiece(Bytes& pack, std::size_t member, const Bytes& piece) {
    const auto directory = samples::ReadPackDirectory(pack);
    std::copy(piece.begin(), piece.end(), pack.begin() + directory[member].offset);
    StoreU32le(pack, 4 + 16 * member + 4, static_cast<std::uint32_t>(piece.size()));
    StoreU32le(pack, 4 + 16 * member + 12, Crc32Reference(piece));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

void SaveLines(const std::string& path, const TextLines& lines) {
    SaveTextLines(path, lines);
}

// A temporary directory holding one extracted small pack: game/small.tre, its pieces and
// result.log below out/.
struct ExtractedPack {
    TempDir dir;
    std::vector<PackMember> members = SmallMembers();
    Bytes original = samples::BuildPack(members);
    std::string pack = dir / "game/small.tre";
    std::string target = dir / "out";
    std::string log = dir / "out/result.log";
    TextLines entryLines;

    ExtractedPack() {
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, original);
        const ProcessResult run = RunEitool({"extract", "--target", target, pack});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const TextLines log = LoadTextLines(this->log);
        entryLines.assign(log.begin() + 2, log.end());
    }

    std::string Piece(std::size_t k) const { return entryLines.at(k); }
};

// ---------------------------------------------------------------------------------------------

TEST(CliUsage, HelpAndVersionExitZeroOnStdout) {
    const ProcessResult help = RunEitool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"extract", "insert", "scan", "demo", "--target", "Exit status"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const ProcessResult version = RunEitool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    // The version of the build and the commit it was built from, in one line.
    const std::string head = "eitool " EITOOL_VERSION " (";
    EXPECT_EQ(version.out.rfind(head, 0), 0u) << version.out;
    EXPECT_GT(version.out.size(), head.size() + 2) << version.out;
    EXPECT_EQ(version.out.substr(version.out.size() - 2), ")\n") << version.out;
    EXPECT_EQ(RunEitool({"insert", "--help"}).exitCode, 0);
}

TEST(CliUsage, MisuseExitsTwoWithAMessageAndTouchesNothing) {
    TempDir dir;
    WriteWholeFile(dir / "a.tre", samples::BuildPack(SmallMembers()));
    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"unpack", "a.tre"},
        {"extract"},
        {"extract", "a.tre", "b.fnt"},               // mixed kinds
        {"extract", "a.tre", "b.bmpx"},              // mixed kinds
        {"extract", "notes.txt"},                    // unknown extension
        {"extract", "noextension"},                  // no extension
        {"extract", "result.log"},                   // a kind extract does not take
        {"insert", "a.tre"},                         // a kind insert does not take
        {"insert", "a.log", "b.lst"},                // mixed kinds
        {"insert", "one.lst", "two.LST"},            // more than one project list
        {"extract", "--scan", "."},                  // --scan without --type
        {"extract", "--scan", ".", "--type", "log"}, // a type extract does not take
        {"insert", "--scan", ".", "--type", "tre"},
        {"extract", "--scan", ".", "--type", "tre", "a.tre"}, // FILE and --scan together
        {"extract", "--type", "tre", "a.tre"},                // --type without --scan
        {"scan", ".", "--type", "zip"},
        {"scan", "."},
        {"scan", "--type", "tre"},
        {"extract", "--frobnicate", "a.tre"},
    };
    for (const auto& args : misuses) {
        std::string shown;
        for (const auto& arg : args) {
            shown += arg + " ";
        }
        const ProcessResult run = RunEitool(args, InDirectory(dir.Path()));
        EXPECT_EQ(run.exitCode, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("eitool: ", 0), 0u) << shown << run.err;
    }
    EXPECT_FALSE(FileExists(dir / "result.log"));
    EXPECT_TRUE(ListDirectory(dir / ".").size() == 1);
}

TEST(CliUsage, MessagesSayWhatIsWrong) {
    TempDir dir;
    WriteWholeFile(dir / "a.tre", samples::BuildPack(SmallMembers()));
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {{"unpack", "a.tre"}, 2, "unknown command: unpack"},
        {{"--progress", "unpack"}, 2, "unknown command: unpack"},
        {{"extract", "--scan", "a.tre", "--type", "tre"}, 2, "\"a.tre\" is not a directory"},
        {{"scan", "missing", "--type", "tre"}, 2, "\"missing\" is not a directory"},
        {{"extract", "--target", "a.tre/out", "a.tre"},
         3,
         "cannot create the target directory (Not a directory)"},
    };
    for (const Case& c : cases) {
        const ProcessResult run = RunEitool(c.args, InDirectory(dir.Path()));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

// ---------------------------------------------------------------------------------------------

TEST(CliExtract, WritesEveryPieceAndTheResultLogByteForByte) {
    TempDir dir;
    const std::vector<PackMember> members = SmallMembers();
    const std::string pack = dir / "DATA.TRE";
    WriteWholeFile(pack, samples::BuildPack(members));
    const std::string target = dir / "out/new"; // missing, with a missing parent

    const ProcessResult run = RunEitool({"extract", "--target", target + NativePath("/"), pack});

    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    std::string expected = "#Format: TRE\r\n#Source: " + pack + "\r\n";
    for (std::size_t k = 0; k < members.size(); ++k) {
        const bool empty = members[k].data.empty() && k != samples::kNamesListIndex;
        expected += (empty ? "NULL" : ExpectedPiecePath(target, k, members[k].name)) + "\r\n";
    }
    EXPECT_EQ(SlurpFile(target + NativePath("/result.log")), expected);
    // Pieces hold their members' bytes; the one without extension lies directly in the target.
    const std::string noExtension = ExpectedPiecePath(target, 3, members[3].name);
    EXPECT_EQ(noExtension, target + NativePath("//0003_m3"));
    EXPECT_EQ(ReadWholeFile(noExtension), members[3].data);
    EXPECT_EQ(ReadWholeFile(ExpectedPiecePath(target, 6, members[6].name)), members[6].data);
    EXPECT_FALSE(FileExists(ExpectedPiecePath(target, 5, members[5].name)));
}

TEST(CliExtract, RelativePathsAreMadeAbsoluteAndTheTargetDefaultsToTheCurrentDirectory) {
    TempDir dir;
    CreateDirectories(dir / "game");
    WriteWholeFile(dir / "game/a.tre", samples::BuildPack(SmallMembers()));

    const ProcessResult run =
        RunEitool({"extract", "./game/../game/a.tre"}, InDirectory(dir.Path()));

    ASSERT_EQ(run.exitCode, 0) << run.err;
    const TextLines log = LoadTextLines(dir / "result.log");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "#Source: " + dir.Path() + NativePath("/game/../game/a.tre"));
    EXPECT_EQ(log[2].rfind(dir.Path() + NativePath("/TGA/0000_m0.tga"), 0), 0u) << log[2];
}

// Without --overwrite an edited piece ends the run before any piece is written (a deleted one
// stays missing), with status 2 and a message naming the piece and the flag; result.log stays.
TEST(CliExtract, EditedPiecesAreReplacedOnlyWithOverwrite) {
    ExtractedPack setup;
    const std::string deleted = setup.Piece(1);
    const std::string edited = setup.Piece(6);
    const Bytes edit{'e', 'd', 'i', 't'};
    RemoveFileQuietly(deleted);
    WriteWholeFile(edited, edit);
    const std::string log = SlurpFile(setup.log);

    const ProcessResult refused = RunEitool({"extract", "--target", setup.target, setup.pack});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(edited), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
    EXPECT_FALSE(FileExists(deleted));
    EXPECT_EQ(ReadWholeFile(edited), edit);
    EXPECT_EQ(SlurpFile(setup.log), log);

    const ProcessResult replaced =
        RunEitool({"extract", "--overwrite", "--target", setup.target, setup.pack});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(ReadWholeFile(deleted), setup.members[1].data);
    EXPECT_EQ(ReadWholeFile(edited), setup.members[6].data);
}

TEST(CliExtract, PackWithoutNamesListIsAResultsLineAndExitsOne) {
    TempDir dir;
    std::vector<PackMember> members(3);
    for (auto& member : members) {
        member.name = "x.bin";
        member.data = {1, 2, 3};
    }
    const std::string pack = dir / "short.tre";
    WriteWholeFile(pack, samples::BuildPack(members));

    const ProcessResult run = RunEitool({"extract", "--target", dir / "out", pack});

    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, pack + " has no names list!\n");
    EXPECT_EQ(SlurpFile(dir / "out/result.log"), "#Format: TRE\r\n#Source: " + pack + "\r\n");
}

TEST(CliExtract, MissingOrCorruptPackEndsTheRunWithStatusThreeNamingTheFile) {
    TempDir dir;
    const std::string missing = dir / "missing.tre";
    // A count of 5000 entries in a file of 20 bytes: the directory runs past its end.
    const std::string corrupt = dir / "corrupt.tre";
    Bytes bytes(20, 0);
    StoreU32le(bytes, 0, 5000);
    WriteWholeFile(corrupt, bytes);

    for (const std::string& pack : {missing, corrupt}) {
        const ProcessResult run = RunEitool({"extract", "--target", dir / "out", pack});
        EXPECT_EQ(run.exitCode, 3) << pack;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("eitool: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(pack), std::string::npos) << run.err;
        EXPECT_FALSE(FileExists(dir / "out/result.log"));
    }
}

TEST(CliProgress, IntoAFileEveryRedrawIsALineAndTheSummaryFollows) {
    TempDir dir;
    const std::string pack = dir / "data.tre";
    WriteWholeFile(pack, samples::BuildPack(SmallMembers()));

    const auto start = std::chrono::steady_clock::now();
    const ProcessResult run = RunEitool({"--progress", "extract", "--target", dir / "out", pack});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find_first_of("\r\033"), std::string::npos) << run.err;
    const auto lines = Lines(run.err);
    ASSERT_GE(lines.size(), 2u) << run.err;
    EXPECT_LE(lines.size(), static_cast<std::size_t>(seconds * 20) + 3) << "in " << seconds;
    const std::string& last = lines[lines.size() - 2];
    EXPECT_NE(last.find("Processing data.tre..."), std::string::npos) << last;
    EXPECT_NE(last.find("Extracted: 2535 of 2535"), std::string::npos) << last;
    EXPECT_EQ(lines.back().rfind("1 file, ", 0), 0u) << lines.back();
}

TEST(CliProgress, MessagesShowPathsWithSingleSeparatorsAndTheLogKeepsThem) {
    TempDir dir;
    CreateDirectories(dir / "tree");
    std::vector<PackMember> members(3);
    for (auto& member : members) {
        member.name = "x.bin";
        member.data = {1};
    }
    WriteWholeFile(dir / "tree/short.tre", samples::BuildPack(members));

    const ProcessResult run =
        RunEitool({"extract", "--scan", dir / "tree/", "--type", "tre", "--target", dir / "out"});

    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, dir / "tree/short.tre has no names list!\n");
    EXPECT_EQ(LoadTextLines(dir / "out/result.log")[1], "#Source: " + dir / "tree//short.tre");
}

// ---------------------------------------------------------------------------------------------

TEST(CliInsert, WritesPiecesThatFitAndReportsAGrownOneWithStatusOne) {
    ExtractedPack setup;
    const Bytes shorter = {0xEE};
    const Bytes sameSize(setup.members[2534].data.size(), 0x42);
    Bytes grown = setup.members[10].data;
    grown.insert(grown.end(), {7, 7, 7});
    WriteWholeFile(setup.Piece(20), shorter);
    WriteWholeFile(setup.Piece(2534), sameSize);
    WriteWholeFile(setup.Piece(10), grown);

    const ProcessResult run = RunEitool({"insert", "--target", setup.target, setup.log});

    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, setup.Piece(10) + " greater by 3 bytes.\n");
    Bytes expected = setup.original;
    ApplyPiece(expected, 20, shorter);
    ApplyPiece(expected, 2534, sameSize);
    EXPECT_TRUE(ReadWholeFile(setup.pack) == expected);
    EXPECT_FALSE(FileExists(DataPackJournalPath(setup.pack)));
}

TEST(CliInsert, UnchangedPiecesLeaveThePackAsItWasAndExitZero) {
    ExtractedPack setup;

    const ProcessResult run = RunEitool({"insert", setup.log}, InDirectory(setup.dir.Path()));

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original);
}

TEST(CliInsert, PiecesThatAreNotFoundAreCountedOnStandardError) {
    ExtractedPack setup;
    const auto named = static_cast<std::size_t>(
        std::count_if(setup.entryLines.begin(), setup.entryLines.end(),
                      [](const std::string& line) { return line != "NULL"; }));
    for (const std::size_t k : {0, 1, 2}) {
        std::remove(setup.Piece(k).c_str());
    }

    const ProcessResult run = RunEitool({"insert", "--target", setup.target, setup.log});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "3 of " + std::to_string(named) + " pieces named by the logs were not found\n");
}

TEST(CliInsert, ProjectListReplaysTheLogsItNames) {
    ExtractedPack setup;
    const Bytes piece = {0x10, 0x20};
    WriteWholeFile(setup.Piece(7), piece);
    const std::string list = setup.dir / "project.LST";
    SaveLines(list, {setup.log});

    const ProcessResult run = RunEitool({"insert", "--target", setup.target, list});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    Bytes expected = setup.original;
    ApplyPiece(expected, 7, piece);
    EXPECT_TRUE(ReadWholeFile(setup.pack) == expected);
}

// ---------------------------------------------------------------------------------------------

// root/a.tre, root/.e.tre (hidden, still listed), root/notes.txt, root/old.tre/ (a directory
// whose name matches), root/sub/b.tre, root/sub/deeper/c.tre and root/.hidden/d.tre (in a hidden
// directory, never reached).
void MakeScanTree(const std::string& root, const Bytes& pack) {
    for (const char* directory : {"sub/deeper", ".hidden", "old.tre"}) {
        CreateDirectories(root + NativePath("/") + directory);
    }
    for (const char* file : {"a.tre", ".e.tre", "sub/b.TRE", "sub/deeper/c.tre", ".hidden/d.tre"}) {
        WriteWholeFile(root + NativePath("/") + file, pack);
    }
    WriteWholeFile(root + NativePath("/notes.txt"), {1});
    MarkHidden(root + NativePath("/.hidden"));
}

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

TEST(CliScan, ListsSubdirectoriesFirstAndSkipsHiddenDirectories) {
    TempDir dir;
    const std::string root = dir / "tree";
    MakeScanTree(root, {0, 0, 0, 0});

    const ProcessResult run = RunEitool({"scan", root, "--type", "tre"});

    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    const std::set<std::string> expected = {
        root + NativePath("/a.tre"), root + NativePath("/.e.tre"), root + NativePath("/old.tre"),
        root + NativePath("/sub/b.TRE"), root + NativePath("/sub/deeper/c.tre")};
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected) << run.out;
    EXPECT_EQ(lines.size(), expected.size());
    EXPECT_LT(IndexOf(lines, root + NativePath("/sub/deeper/c.tre")),
              IndexOf(lines, root + NativePath("/sub/b.TRE")));
    for (const char* own : {"/a.tre", "/.e.tre", "/old.tre"}) {
        EXPECT_LT(IndexOf(lines, root + NativePath("/sub/b.TRE")),
                  IndexOf(lines, root + NativePath(own)))
            << own;
    }
}

TEST(CliScan, KeepsTheDirectoryAsTypedAndPutsTheCurrentDirectoryBeforeARelativeOne) {
    TempDir dir;
    MakeScanTree(dir / "tree", {0, 0, 0, 0});

    const ProcessResult trailing = RunEitool({"scan", dir / "tree/", "--type", "tre"});
    const ProcessResult relative =
        RunEitool({"scan", "tree", "--type", "tre"}, InDirectory(dir.Path()));

    ASSERT_EQ(trailing.exitCode, 0);
    ASSERT_EQ(relative.exitCode, 0);
    const auto trailingLines = Lines(trailing.out);
    const auto relativeLines = Lines(relative.out);
    ASSERT_EQ(trailingLines.size(), 5u);
    ASSERT_EQ(relativeLines.size(), 5u);
    for (const auto& line : trailingLines) {
        EXPECT_EQ(line.rfind(dir / "tree//", 0), 0u) << line;
    }
    for (const auto& line : relativeLines) {
        EXPECT_EQ(line.rfind(dir.Path() + NativePath("/tree/"), 0), 0u) << line;
        EXPECT_NE(line[dir.Path().size() + 6], '/') << line;
    }
    EXPECT_EQ(RunEitool({"scan", dir / "nothing-here", "--type", "log"}).out, "");
}

TEST(CliScan, ExtractingAScannedTreeMirrorsItsDirectoriesBelowTheTarget) {
    TempDir dir;
    CreateDirectories(dir / "tree/sub");
    WriteWholeFile(dir / "tree/sub/b.tre", samples::BuildPack(SmallMembers()));

    const ProcessResult run = RunEitool(
        {"extract", "--scan", "tree", "--type", "tre", "--target", "out"}, InDirectory(dir.Path()));

    ASSERT_EQ(run.exitCode, 0) << run.err;
    const TextLines log = LoadTextLines(dir / "out/result.log");
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[1], "#Source: " + dir.Path() + NativePath("/tree/sub/b.tre"));
    EXPECT_EQ(log[2], dir.Path() + NativePath("/out/sub/TGA/0000_m0.tga"));
    EXPECT_TRUE(FileExists(log[3]));
}

// ---------------------------------------------------------------------------------------------

// Six pieces edited: three with every byte flipped, three a byte shorter as well. Unchanged
// pieces are neither journalled nor written, so an insertion makes a few dozen writes and a test
// can kill it at every one of them.
std::vector<std::size_t> EditSixPieces(const TextLines& entryLines) {
    std::vector<std::size_t> edited;
    for (std::size_t k = 100; k < entryLines.size() && edited.size() < 6; k += 97) {
        if (entryLines[k] == "NULL" || k == samples::kNamesListIndex) {
            continue;
        }
        Bytes piece = ReadWholeFile(entryLines[k]);
        for (auto& byte : piece) {
            byte = static_cast<std::uint8_t>(~byte);
        }
        if (edited.size() % 2 == 1) {
            piece.pop_back();
        }
        WriteWholeFile(entryLines[k], piece);
        edited.push_back(k);
    }
    return edited;
}

// What a clean insertion of the edited pieces gives: the same log replayed into a copy.
Bytes CleanInsertion(const ExtractedPack& setup) {
    const std::string copy = setup.dir / "reference.tre";
    WriteWholeFile(copy, setup.original);
    TextLines log = LoadTextLines(setup.log);
    log[1] = "#Source: " + copy;
    const std::string copyLog = setup.dir / "reference.log";
    SaveLines(copyLog, log);
    const ProcessResult run = RunEitool({"insert", "--target", setup.target, copyLog});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return ReadWholeFile(copy);
}

TEST(CliJournal, AnInsertionKilledAtEveryWriteIsPutRightByTheNextRun) {
    ExtractedPack setup;
    ASSERT_EQ(EditSixPieces(setup.entryLines).size(), 6u);
    const Bytes reference = CleanInsertion(setup);
    ASSERT_TRUE(reference != setup.original);
    const std::string journal = DataPackJournalPath(setup.pack);

    bool extractedAfterKill = false;
    int k = 1;
    for (; k <= 200; ++k) {
        WriteWholeFile(setup.pack, setup.original);
        const ProcessResult dying =
            RunEitool({"insert", "--target", setup.target, setup.log},
                      WithEnvironment("EITOOL_TEST_KILL_AT_WRITE", std::to_string(k)));
        if (dying.signal == 0) {
            // k is past the last write: the run completed.
            EXPECT_EQ(dying.exitCode, 0) << k << dying.err;
            EXPECT_TRUE(ReadWholeFile(setup.pack) == reference) << k;
            break;
        }
        ASSERT_EQ(dying.signal, kKilledSignal) << k;
        const bool touched = ReadWholeFile(setup.pack) != setup.original;

        if (touched && !extractedAfterKill) {
            // Any run that opens the pack puts it back first, an extraction too.
            ASSERT_TRUE(FileExists(journal)) << k << ": the pack changed without a journal";
            extractedAfterKill = true;
            const ProcessResult extraction =
                RunEitool({"extract", "--target", setup.dir / "again", setup.pack});
            EXPECT_EQ(extraction.exitCode, 1) << k << extraction.err;
            EXPECT_EQ(extraction.out.rfind(setup.pack, 0), 0u) << k << extraction.out;
            EXPECT_EQ(Lines(extraction.out).size(), 1u) << k << extraction.out;
            EXPECT_TRUE(ReadWholeFile(setup.pack) == setup.original) << k;
            EXPECT_FALSE(FileExists(journal)) << k;
        }

        const ProcessResult next = RunEitool({"insert", "--target", setup.target, setup.log});

        EXPECT_EQ(next.err, "") << k;
        const auto lines = Lines(next.out);
        EXPECT_LE(lines.size(), 1u) << k << next.out;
        for (const auto& line : lines) {
            EXPECT_EQ(line.rfind(setup.pack, 0), 0u) << k << ": " << line;
        }
        if (touched && !extractedAfterKill) {
            EXPECT_EQ(lines.size(), 1u) << k << ": the restoration is reported";
        }
        EXPECT_EQ(next.exitCode, lines.empty() ? 0 : 1) << k;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == reference) << k;
        EXPECT_FALSE(FileExists(journal)) << k;
    }
    EXPECT_LE(k, 200) << "the insertion of six pieces should not take 200 writes";
    EXPECT_GT(k, 6) << "every edited piece is written";
    EXPECT_TRUE(extractedAfterKill);
}

// ---------------------------------------------------------------------------------------------

#ifdef _WIN32
constexpr const char* kNoCtrlCToAChild =
    "Ctrl-C cannot be sent to one child without a console of its own; the write seam's Ctrl-C "
    "tests the handler";
#endif

TEST(CliInterrupt, CtrlCStopsAfterTheCurrentFileAndStillWritesTheResultLog) {
#ifdef _WIN32
    GTEST_SKIP() << "Not on Windows: " << kNoCtrlCToAChild;
#else
    TempDir dir;
    // 3000 packs too small for a names list: each gives one results line. Standard output is a
    // pipe that is not read until the first line arrived, so the run is still going (blocked on
    // a full pipe at the latest) when Ctrl-C comes.
    constexpr int kPacks = 3000;
    CreateDirectories(dir / "packs");
    PackMember member;
    member.name = "a.bin";
    member.data = {1, 2};
    const Bytes tiny = samples::BuildPack({member});
    for (int i = 0; i < kPacks; ++i) {
        WriteWholeFile(dir / ("packs/p" + std::to_string(i) + ".tre"), tiny);
    }

    const ProcessResult run =
        RunEitool({"extract", "--scan", dir / "packs", "--type", "tre", "--target", dir / "out"},
                  WhileRunning([](int fd, pid_t pid, std::string& out) {
                      char buffer[256];
                      while (out.find('\n') == std::string::npos) {
                          const ssize_t n = read(fd, buffer, sizeof buffer);
                          if (n <= 0) {
                              return;
                          }
                          out.append(buffer, static_cast<std::size_t>(n));
                      }
                      kill(pid, SIGINT);
                  }));

    EXPECT_EQ(run.exitCode, 130) << run.err;
    const auto lines = Lines(run.out);
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), static_cast<std::size_t>(kPacks));
    const TextLines log = LoadTextLines(dir / "out/result.log");
    EXPECT_EQ(log.size(), 2 * lines.size());
#endif
}

// What the first Ctrl-C prints at once.
constexpr const char* kStopNotice = "Stopping after the current file (Ctrl-C again to abort)\n";

TEST(CliInterrupt, CtrlCDuringAnInsertionSaysWhichPacksAreCompleteAndTwiceRestoresThePack) {
    ExtractedPack setup;
    ASSERT_EQ(EditSixPieces(setup.entryLines).size(), 6u);
    const Bytes reference = CleanInsertion(setup);
    struct Case {
        const char* at; // the writes before which Ctrl-C comes
        bool restored;
        const char* message;
    };
    const Case cases[] = {
        {"1", false, "data packs written completely:\n  "},
        {"1,2", true, "the insertion was aborted; the pack was restored from its journal"},
    };
    for (const Case& c : cases) {
        WriteWholeFile(setup.pack, setup.original);
        const ProcessResult run =
            RunEitool({"insert", "--target", setup.target, setup.log},
                      WithEnvironment("EITOOL_TEST_INTERRUPT_AT_WRITE", c.at));
        EXPECT_EQ(run.exitCode, 130) << c.at << run.err;
        EXPECT_EQ(run.err.rfind(kStopNotice, 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(ReadWholeFile(setup.pack) == (c.restored ? setup.original : reference)) << c.at;
        EXPECT_FALSE(FileExists(DataPackJournalPath(setup.pack))) << c.at;
    }
}

TEST(CliInterrupt, CtrlCTwiceDuringOneBigPackEndsBetweenPiecesWithoutResultLog) {
#ifdef _WIN32
    GTEST_SKIP() << "Not on Windows: " << kNoCtrlCToAChild;
#else
    TempDir dir;
    std::vector<PackMember> members(40000);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i) + ".bin";
        members[i].data = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)};
    }
    const std::string pack = dir / "big.tre";
    WriteWholeFile(pack, samples::BuildPack(members));
    const std::string first = dir / "out/BIN/0000_m0.bin";

    const ProcessResult run = RunEitool(
        {"extract", "--target", dir / "out", pack}, WhileRunning([&](int, pid_t pid, std::string&) {
            const auto start = std::chrono::steady_clock::now();
            while (!FileExists(first) &&
                   std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
                usleep(500);
            }
            // Apart far enough that the two signals are not merged into one.
            kill(pid, SIGINT);
            usleep(50000);
            kill(pid, SIGINT);
        }));

    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_EQ(run.err.rfind(kStopNotice, 0), 0u) << run.err;
    EXPECT_NE(run.err.find("pieces written are complete"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no result.log was written"), std::string::npos) << run.err;
    EXPECT_FALSE(FileExists(dir / "out/result.log"));
    const auto pieces = ListDirectory(dir / "out/BIN");
    EXPECT_GT(pieces.size(), 0u);
    EXPECT_LT(pieces.size(), members.size() / 2);
    for (const auto& piece : pieces) {
        const std::size_t i = std::stoul(piece.name.substr(piece.name.find('m') + 1));
        if (i != samples::kNamesListIndex) {
            EXPECT_TRUE(ReadWholeFile(dir / ("out/BIN/" + piece.name)) == members[i].data)
                << piece.name;
        }
    }
#endif
}

} // namespace
} // namespace eitool::testing
