// Logs, project lists and paths through the real eitool binary: logs joined from blocks of several
// formats, sources of another format, project lists with blank lines, and line breaks in the
// paths that a result log records.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "support/Platform.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace eitool::testing {
namespace {

namespace fs = std::filesystem;

std::vector<samples::PackMember> Members() {
    std::vector<samples::PackMember> members(samples::kNamesListIndex + 3);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i) + ".bin";
        members[i].data = std::vector<std::uint8_t>(64, static_cast<std::uint8_t>(i));
    }
    members[samples::kNamesListIndex].name = "filelist.txt";
    return members;
}

std::set<std::string> FilesIn(const std::string& directory) {
    std::set<std::string> names;
    if (fs::exists(directory)) {
        for (const auto& entry : fs::directory_iterator(directory)) {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

// A game folder with a pack, a texture and a font, each extracted into a folder of its own and
// edited there: one piece of the pack, one level of the texture, and a log block of the font's
// three entry lines. Block(kind) is the log of that kind.
class EditedGame {
public:
    TempDir dir;
    std::string pack = dir / "game/a.tre";
    std::string texture = dir / "game/tex.tgax";
    std::string font = dir / "game/font_main.fnt";
    std::vector<std::uint8_t> packBytes = samples::BuildPack(Members());
    std::vector<std::uint8_t> textureBytes =
        samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 16, 5));

    EditedGame() {
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, packBytes);
        WriteWholeFile(texture, textureBytes);
        const samples::SampleFont sample = samples::MakeSampleFont();
        WriteWholeFile(font, samples::BuildFont(sample.tables));
        sample.sheet.SaveToFile(dir / "game/font_main.bmp");
        for (const auto& [from, to] : {std::pair{pack, "packs"}, std::pair{texture, "textures"}}) {
            const ProcessResult run = RunEitool({"extract", "--target", dir / to, from});
            EXPECT_EQ(run.exitCode, 0) << run.err;
        }
        const TextLines packLog = LoadTextLines(dir / "packs/result.log");
        WriteWholeFile(packLog.back(), std::vector<std::uint8_t>(64, 0xEE));
        Bitmap level = Bitmap::LoadFromFile(dir / "textures/tex_mip_00.bmp");
        level.SetPixelValue(0, 0, (level.PixelValue(0, 0) + 1) % 256);
        level.SaveToFile(dir / "textures/tex_mip_00.bmp");
        samples::MakeGlyphStrip({200}, 16).SaveToFile(dir / "new.bmp");
        WriteWholeFile(dir / "chars.tbl", samples::MakeCharacterTable({200}));
    }

    std::string Block(char kind) const {
        if (kind == 'f') {
            return "#Format: FNT\r\n#Source: " + font + "\r\n" + (dir / "chars.tbl") +
                   "\r\n0:192:0:1:1\r\n" + (dir / "new.bmp") + "\r\n";
        }
        return SlurpFile(dir / (kind == 'p' ? "packs/result.log" : "textures/result.log"));
    }
};

// The inserter contract of the replay (app/LogReplay.h), for the three formats: a block followed
// by a block of another format, a block at the end of the log, and a block whose lines run out
// (an upper-case letter: its last entry line is cut). Every block goes to its own inserter, and
// one never takes the next block's lines as its own: a texture leaves its last levels as they
// are, a font cut short is refused with a results line, a pack that lacks entry lines is refused
// whole and ends the run. The last full case names the log in a project list with blank lines.
TEST(CliLogs, EveryInserterKeepsTheReplaysContract) {
    const EditedGame game;
    const auto cut = [](std::string block) {
        block.resize(block.size() - 2);
        block.resize(block.rfind("\r\n") + 2);
        return block;
    };
    const std::string fontCut =
        game.font + " has fewer than three entry lines after it in the log!\n";
    struct Case {
        const char* order;
        int exitCode;
        std::string out;
    };
    for (const Case& c :
         {Case{"tp", 0, ""}, Case{"pt", 0, ""}, Case{"fp", 0, ""}, Case{"ptf", 0, ""},
          Case{"Tp", 0, ""}, Case{"pT", 0, ""}, Case{"Fp", 1, fontCut}, Case{"pF", 1, fontCut},
          Case{"Pt", 3, ""}, Case{"tP", 3, ""}}) {
        const std::string order = c.order;
        SCOPED_TRACE(order);
        WriteWholeFile(game.pack, game.packBytes);
        fs::remove_all(game.dir / "out");
        std::string joined;
        for (const char kind : order) {
            const std::string block = game.Block(static_cast<char>(std::tolower(kind)));
            joined += std::isupper(kind) ? cut(block) : block;
        }
        WriteText(game.dir / "all.log", joined);
        std::string input = game.dir / "all.log";
        if (order == "ptf") {
            WriteText(game.dir / "all.lst", "\r\n" + input + "\r\n  \r\n\r\n");
            input = game.dir / "all.lst";
        }
        const ProcessResult run = RunEitool({"insert", "--target", game.dir / "out", input});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err << run.out;
        EXPECT_EQ(run.out, c.out);
        if (c.exitCode == 3) {
            // The pack is refused whole; only a block before it has gone in.
            EXPECT_NE(run.err.find(" lines are missing"), std::string::npos) << run.err;
            EXPECT_EQ(ReadWholeFile(game.pack), game.packBytes);
            EXPECT_EQ(FilesIn(game.dir / "out"),
                      order == "tP" ? std::set<std::string>{"tex.tgax"} : std::set<std::string>{});
            continue;
        }
        EXPECT_EQ(run.err, "");
        std::set<std::string> expected;
        if (order.find_first_of("tT") != std::string::npos) {
            expected.insert("tex.tgax");
            EXPECT_NE(ReadWholeFile(game.dir / "out/tex.tgax"), game.textureBytes);
        }
        if (order.find('f') != std::string::npos) {
            expected.insert({"font_main.fnt", "font_main.bmp"});
        }
        EXPECT_EQ(FilesIn(game.dir / "out"), expected);
        EXPECT_NE(ReadWholeFile(game.pack), game.packBytes);
        EXPECT_EQ(ReadWholeFile(game.texture), game.textureBytes);
    }
}

// A source of another format under a block's tag is reported and left alone, and the run goes on.
TEST(CliLogs, ASourceOfAnotherFormatIsReportedAndNothingIsWrittenForIt) {
    const EditedGame game;
    struct Case {
        const char* tag;
        std::string source;
        std::string piece;
    };
    for (const Case& c : {Case{"BTE", game.pack, game.dir / "textures/tex_mip_00.bmp"},
                          Case{"TRE", game.texture, game.dir / "packs/BIN/0000_m0.bin"}}) {
        WriteText(game.dir / "x.log", std::string("#Format: ") + c.tag + "\r\n#Source: " +
                                          c.source + "\r\n" + c.piece + "\r\n" + game.Block('f'));
        const ProcessResult run =
            RunEitool({"insert", "--target", game.dir / "out", game.dir / "x.log"});
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.out, c.source + " is not a " + c.tag + " file!\n");
        EXPECT_EQ(FilesIn(game.dir / "out"),
                  (std::set<std::string>{"font_main.fnt", "font_main.bmp"}));
        EXPECT_EQ(ReadWholeFile(game.pack), game.packBytes);
        EXPECT_EQ(ReadWholeFile(game.texture), game.textureBytes);
    }
}

// A target or source holding a CR or LF could not be one line of result.log: the extraction is
// refused before anything is written. A scan passes such a file with a results line.
TEST(CliLogs, LineBreaksInExtractionPathsAreRefusedBeforeAnythingIsWritten) {
    EITOOL_SKIP_ON_WINDOWS("file names cannot hold a CR or LF");
    TempDir dir;
    CreateDirectories(dir / "game");
    const std::vector<std::uint8_t> pack = samples::BuildPack(Members());
    for (const char* name : {"a.tre", "b\nc.tre", "d\re.tre"}) {
        WriteWholeFile(dir / (std::string("game/") + name), pack);
    }
    struct Case {
        std::string target;
        std::string source;
        std::string shown; // the path the error names
    };
    for (const Case& c : {Case{dir / "out\nx", dir / "game/a.tre", dir / "out\\nx"},
                          Case{dir / "out\rx", dir / "game/a.tre", dir / "out\\rx"},
                          Case{dir / "out", dir / "game/b\nc.tre", dir / "game/b\\nc.tre"},
                          Case{dir / "out", dir / "game/d\re.tre", dir / "game/d\\re.tre"}}) {
        const ProcessResult run = RunEitool({"extract", "--target", c.target, c.source});
        EXPECT_EQ(run.exitCode, 3) << c.shown;
        EXPECT_NE(run.err.find(c.shown + ": the "), std::string::npos) << run.err;
        EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string>{"game"}));
    }
    const ProcessResult scan =
        RunEitool({"extract", "--target", dir / "out", "--scan", dir / "game", "--type", "tre"});
    EXPECT_EQ(scan.exitCode, 0) << scan.err; // the run clears the scan's lines from the pane
    EXPECT_NE(scan.out.find(dir / "game/b\\nc.tre has a line break in its path!\n"),
              std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find(dir / "game/d\\re.tre has a line break in its path!\n"),
              std::string::npos)
        << scan.out;
    const TextLines log = LoadTextLines(dir / "out/result.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), "#Source: " + (dir / "game/a.tre")), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.starts_with("#Source:"); }),
              1);
}

} // namespace
} // namespace eitool::testing
