// The form model's rules for piece files: two sources of one run with the same piece names,
// re-extraction over edited pieces, and the lock that keeps extraction and insertion of one pack
// apart.
#include "app/FormatTable.h"
#include "app/TMainForm.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "images/Bitmap.h"
#include "run/PieceChecks.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "support/PackWorkbench.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace eitool {
namespace {

using testing::Bytes;
using testing::RecordingSurface;
using testing::ScriptedDialogs;
using testing::TempDir;

// Three sources of one format in game/: b has the same piece names as a (other contents), c
// names of its own.
struct Sources {
    const char* format;
    int type;
    std::string a;
    std::string b;
    std::string c;
};

Sources WritePacks(const TempDir& tmp) {
    std::vector<samples::PackMember> members = testing::FewMembers(2, {0, 7, 2534});
    const std::string a = tmp / "game/one/data.tre";
    const std::string b = tmp / "game/two/data.tre";
    const std::string c = tmp / "game/other.tre";
    CreateDirectories(tmp / "game/one");
    CreateDirectories(tmp / "game/two");
    WriteWholeFile(a, samples::BuildPack(members));
    members[7].data[0] ^= 0xFF;
    WriteWholeFile(b, samples::BuildPack(members));
    for (samples::PackMember& member : members) {
        member.name = "c" + member.name;
    }
    WriteWholeFile(c, samples::BuildPack(members));
    return {"packs", kTypeDataPacks, a, b, c};
}

Sources WriteTextures(const TempDir& tmp) {
    CreateDirectories(tmp / "game");
    const Sources sources{"textures", kTypeExtendedImages, tmp / "game/logo.bmpx",
                          tmp / "game/logo.tgax", tmp / "game/other.bmpx"};
    std::uint32_t seed = 1;
    for (const std::string& path : {sources.a, sources.b, sources.c}) {
        WriteWholeFile(path,
                       samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, seed++)));
    }
    return sources;
}

// a and b share their sheet, so their strips have one name; c has a sheet of its own.
Sources WriteFonts(const TempDir& tmp) {
    CreateDirectories(tmp / "game");
    samples::SampleFont font = samples::MakeSampleFont();
    font.sheet.SaveToFile(tmp / "game/font_main.bmp");
    WriteWholeFile(tmp / "game/a.fnt", samples::BuildFont(font.tables));
    font.tables.glyphs[3].right *= 0.5F;
    WriteWholeFile(tmp / "game/b.fnt", samples::BuildFont(font.tables));
    font.tables.textureName = "data\\font\\font_small.tga";
    font.sheet.SaveToFile(tmp / "game/font_small.bmp");
    WriteWholeFile(tmp / "game/c.fnt", samples::BuildFont(font.tables));
    return {"fonts", kTypeFonts, tmp / "game/a.fnt", tmp / "game/b.fnt", tmp / "game/c.fnt"};
}

using SourceWriter = Sources (*)(const TempDir&);
constexpr SourceWriter kAllFormats[] = {&WritePacks, &WriteTextures, &WriteFonts};

// Every file below directory but result.log, by its path relative to it, with its bytes.
std::map<std::string, Bytes> Snapshot(const std::string& directory) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        // The lock file that a run holds in its target on Windows is not a piece.
        const auto name = entry.path().filename();
        if (entry.is_regular_file() && name != "result.log" && name != ".eitool-lock") {
            files[std::filesystem::relative(entry.path(), directory).string()] =
                ReadWholeFile(entry.path().string());
        }
    }
    return files;
}

// The entry lines of each block of a log, in order.
std::vector<TextLines> Blocks(const TextLines& log) {
    std::vector<TextLines> blocks;
    for (const std::string& line : log) {
        if (line.starts_with("#Format:")) {
            blocks.emplace_back();
        } else if (!line.starts_with("#Source:") && !blocks.empty()) {
            blocks.back().push_back(line);
        }
    }
    return blocks;
}

std::string FirstPiece(const TextLines& block) {
    const auto piece = std::find_if(block.begin(), block.end(),
                                    [](const std::string& line) { return line != "NULL"; });
    return piece == block.end() ? std::string() : *piece;
}

// An edit as a user makes it: a BMP file gets another pixel value at (0, 0), any other piece
// another last byte.
void Edit(const std::string& piece) {
    if (piece.ends_with(".bmp")) {
        Bitmap bitmap = Bitmap::LoadFromFile(piece);
        bitmap.SetPixelValue(0, 0, bitmap.PixelValue(0, 0) == 0 ? 1 : 0);
        bitmap.SaveToFile(piece);
    } else {
        Bytes bytes = ReadWholeFile(piece);
        bytes.back() ^= 0xFF;
        WriteWholeFile(piece, bytes);
    }
}

class PiecesTest : public ::testing::Test {
protected:
    PiecesTest() : form(surface, dialogs) {}
    void SetUp() override { saved = CurrentDirectory(); }
    void TearDown() override { SetCurrentDirectory(saved); }

    // A run over files of one type into target.
    void Run(int type, const TextLines& files, const std::string& target) {
        dialogs.asked.clear();
        dialogs.shownMessages.clear();
        dialogs.picker = target;
        dialogs.open = OpenAnswer{files, type};
        form.BClearAllClick();
        form.BAddLogClick();
        form.BProcessClick();
    }
    // Asked once, with No as the answer Enter gives.
    bool AskedToReplace() const {
        return std::count(dialogs.asked.begin(), dialogs.asked.end(), "question") == 1 &&
               dialogs.questionDefaults.back() == DefaultAnswer::No &&
               std::count(dialogs.shownMessages.begin(), dialogs.shownMessages.end(),
                          "The target directory holds edited pieces. Replace them?") == 1;
    }

    TempDir tmp;
    RecordingSurface surface;
    ScriptedDialogs dialogs;
    TMainForm form;
    std::string saved;
};

using SameNames = PiecesTest;

TEST_F(SameNames, ALaterSourceWritesNothingAndLogsNullLines) {
    for (const SourceWriter write : kAllFormats) {
        TempDir dir;
        const Sources sources = write(dir);
        SCOPED_TRACE(sources.format);
        Run(sources.type, {sources.a}, dir / "alone");
        Run(sources.type, {sources.a, sources.b}, dir / "out");

        EXPECT_EQ(surface.results, std::vector<std::string>{sources.b + kSamePieceNames});
        EXPECT_EQ(Snapshot(dir / "out"), Snapshot(dir / "alone"));
        const std::vector<TextLines> blocks = Blocks(LoadTextLines(dir / "out/result.log"));
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[1], TextLines(blocks[0].size(), "NULL"));
    }
}

// Edited pieces of a and c go into their sources (or patched copies); b, left out by the
// extraction, stays as it is.
TEST_F(SameNames, TheReplayPassesOverTheLeftOutSourceAndStaysAligned) {
    for (const SourceWriter write : {&WritePacks, &WriteTextures}) {
        TempDir dir;
        const Sources sources = write(dir);
        SCOPED_TRACE(sources.format);
        const std::map<std::string, Bytes> before = Snapshot(dir / "game");
        Run(sources.type, {sources.a, sources.b, sources.c}, dir / "out");
        const std::vector<TextLines> blocks = Blocks(LoadTextLines(dir / "out/result.log"));
        ASSERT_EQ(blocks.size(), 3u);
        Edit(FirstPiece(blocks[0]));
        Edit(FirstPiece(blocks[2]));

        Run(kTypeLogs, {dir / "out/result.log"}, dir / "patched");
        EXPECT_EQ(surface.results, std::vector<std::string>{});
        // Packs change in place; textures are written as patched copies.
        const bool inPlace = sources.type == kTypeDataPacks;
        const std::string patched = inPlace ? dir / "game" : dir / "patched";
        const std::map<std::string, Bytes> after = Snapshot(patched);
        for (const std::string* source : {&sources.a, &sources.b, &sources.c}) {
            const std::string name = std::filesystem::relative(*source, dir / "game").string();
            const std::string copy = inPlace ? name : FileNamePart(*source);
            const bool written = after.contains(copy) && after.at(copy) != before.at(name);
            EXPECT_EQ(written, source != &sources.b) << name;
        }
    }
}

TEST_F(SameNames, TheReplayPassesOverTheNullBlockOfAFont) {
    const Sources sources = WriteFonts(tmp);
    const std::string table = tmp / "table.bin";
    const std::string strip = tmp / "strip.bmp";
    WriteWholeFile(table, samples::MakeCharacterTable({192}));
    samples::MakeGlyphStrip({192}, 14).SaveToFile(strip);
    SaveTextLines(tmp / "fonts.log",
                  {"#Format: FNT", "#Source: " + sources.b, "NULL", "#Format: FNT",
                   "#Source: " + sources.c, table, "0:200:0:1:1", strip});
    Run(kTypeLogs, {tmp / "fonts.log"}, tmp / "patched");
    EXPECT_EQ(surface.results, std::vector<std::string>{});
    EXPECT_FALSE(FileExists(tmp / "patched/b.fnt"));
    EXPECT_TRUE(FileExists(tmp / "patched/c.fnt"));
}

using EditedPieces = PiecesTest;

// An untouched tree is extracted again without a question; a declined question ends the run
// before the source with an edited piece (the one before it is written, nothing of it is) and
// keeps result.log; an agreed one replaces every edited piece of the run, asked once.
TEST_F(EditedPieces, AreReplacedOnlyWithConsentAskedOncePerRun) {
    for (const SourceWriter write : kAllFormats) {
        TempDir dir;
        const Sources sources = write(dir);
        SCOPED_TRACE(sources.format);
        const std::string out = dir / "out";
        Run(sources.type, {sources.a, sources.c}, out);
        const std::map<std::string, Bytes> extracted = Snapshot(out);
        const TextLines log = LoadTextLines(out + "/result.log");
        const std::vector<TextLines> blocks = Blocks(log);
        ASSERT_EQ(blocks.size(), 2u);
        const std::string pieceOfA = FirstPiece(blocks[0]);
        const std::string pieceOfC = FirstPiece(blocks[1]);

        Run(sources.type, {sources.a, sources.c}, out);
        EXPECT_EQ(std::count(dialogs.asked.begin(), dialogs.asked.end(), "question"), 0);
        EXPECT_EQ(Snapshot(out), extracted);

        RemoveFileQuietly(pieceOfA);
        Edit(pieceOfC);
        const Bytes editedC = ReadWholeFile(pieceOfC);
        dialogs.yes = false;
        try {
            Run(sources.type, {sources.a, sources.c}, out);
            ADD_FAILURE() << "the run went on over an edited piece";
        } catch (const EditedPiecesError& error) {
            EXPECT_EQ(error.Path(), pieceOfC);
            EXPECT_EQ(error.Source(), sources.c);
        }
        EXPECT_TRUE(AskedToReplace());
        EXPECT_EQ(ReadWholeFile(pieceOfA),
                  extracted.at(std::filesystem::relative(pieceOfA, out).string()));
        EXPECT_EQ(ReadWholeFile(pieceOfC), editedC);
        EXPECT_EQ(LoadTextLines(out + "/result.log"), log);

        Edit(pieceOfA);
        dialogs.yes = true;
        Run(sources.type, {sources.a, sources.c}, out);
        EXPECT_TRUE(AskedToReplace());
        EXPECT_EQ(Snapshot(out), extracted);
        EXPECT_EQ(LoadTextLines(out + "/result.log"), log);
    }
}

using GrownPieces = PiecesTest;

// The window asks once per run, No by default; No leaves the packs and reports the grown pieces
// as an insertion without a rebuild does, Yes rebuilds every pack of the run.
TEST_F(GrownPieces, TheWindowAsksOncePerRunWhetherPacksAreRebuilt) {
    const Sources sources = WritePacks(tmp);
    const std::string out = tmp / "out";
    Run(kTypeDataPacks, {sources.a, sources.c}, out);
    const std::vector<TextLines> blocks = Blocks(LoadTextLines(out + "/result.log"));
    ASSERT_EQ(blocks.size(), 2u);
    for (const TextLines& block : blocks) {
        Bytes piece = ReadWholeFile(FirstPiece(block));
        piece.resize(piece.size() + 9, 'g');
        WriteWholeFile(FirstPiece(block), piece);
    }
    const Bytes a = ReadWholeFile(sources.a);
    const Bytes c = ReadWholeFile(sources.c);
    form.State().Grow = GrowMode::Ask;
    const auto askedOnce = [&] {
        return std::count(dialogs.asked.begin(), dialogs.asked.end(), "question") == 1 &&
               dialogs.questionDefaults.back() == DefaultAnswer::No &&
               std::count(dialogs.shownMessages.begin(), dialogs.shownMessages.end(),
                          kRebuildPacksQuestion) == 1;
    };

    dialogs.yes = false;
    Run(kTypeLogs, {out + "/result.log"}, out);
    EXPECT_TRUE(askedOnce());
    EXPECT_EQ(surface.results,
              (std::vector<std::string>{FirstPiece(blocks[0]) + " greater by 9 bytes.",
                                        FirstPiece(blocks[1]) + " greater by 9 bytes."}));
    EXPECT_EQ(ReadWholeFile(sources.a), a);
    EXPECT_EQ(ReadWholeFile(sources.c), c);

    dialogs.yes = true;
    surface.results.clear();
    Run(kTypeLogs, {out + "/result.log"}, out);
    EXPECT_TRUE(askedOnce());
    EXPECT_EQ(surface.results, std::vector<std::string>{});
    EXPECT_EQ(surface.reports.size(), 2u);
    EXPECT_EQ(ReadWholeFile(sources.a).size(), a.size() + 9);
    EXPECT_EQ(ReadWholeFile(sources.c).size(), c.size() + 9);
}

using PackLock = PiecesTest;

TEST_F(PackLock, ExtractionIsRefusedWhileAnInsertionHoldsThePack) {
    const Sources sources = WritePacks(tmp);
    const FileStream inserting = FileStream::Open(sources.a, omReadWrite);
    try {
        Run(kTypeDataPacks, {sources.a}, tmp / "out");
        ADD_FAILURE() << "the pack was extracted during an insertion";
    } catch (const FileOpenError& error) {
        EXPECT_EQ(error.Path(), sources.a);
        EXPECT_NE(std::string(error.what()).find("in use by another process"), std::string::npos);
    }
    EXPECT_FALSE(FileExists(tmp / "out/result.log"));
}

// Another run holding the target: extraction and insertion into it are refused before anything
// is read or written there.
TEST_F(PackLock, ARunIntoATargetThatAnotherRunHoldsIsRefused) {
    const Sources sources = WritePacks(tmp);
    const std::string out = tmp / "out";
    Run(kTypeDataPacks, {sources.a}, out);
    const std::map<std::string, Bytes> extracted = Snapshot(out);
    const DirectoryLock otherRun(out);
    for (const int type : {kTypeDataPacks, kTypeLogs}) {
        try {
            Run(type, {type == kTypeLogs ? out + "/result.log" : sources.c}, out);
            ADD_FAILURE() << "a second run went into a held target";
        } catch (const FileOpenError& error) {
            EXPECT_EQ(error.Path(), out);
            EXPECT_NE(std::string(error.what()).find("it is in use by another process"),
                      std::string::npos);
        }
        EXPECT_EQ(Snapshot(out), extracted);
    }
}

} // namespace
} // namespace eitool
