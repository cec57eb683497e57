// The pack helpers through the real binary: list, verify and the dry run of an insertion.
#include "cli/RunEitool.h"
#include "common/ByteWriter.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace eitool {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::RunEitool;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Every file and directory below directory with its bytes (directories with none).
std::map<std::string, Bytes> Snapshot(const std::string& directory) {
    std::map<std::string, Bytes> snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        snapshot[entry.path().string()] =
            entry.is_regular_file() ? ReadWholeFile(entry.path().string()) : Bytes{};
    }
    return snapshot;
}

// 2536 members with names of every shape, laid out in file order (position k is member k).
std::string WriteGamePack(const TempDir& dir) {
    CreateDirectories(dir / "game");
    const std::string pack = dir / "game/data.tre";
    WriteWholeFile(pack, samples::BuildPack(samples::MakeRealisticMembers(2536, 7, 16)));
    return pack;
}

TEST(CliPackTools, ListPrintsEveryEntryInOffsetOrderAsTextAndJson) {
    TempDir dir;
    const std::string pack = WriteGamePack(dir);
    const auto members = samples::MakeRealisticMembers(2536, 7, 16);
    const ProcessResult extract = RunEitool({"extract", "--target", dir / "work", pack});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    const TextLines log = LoadTextLines(dir / "work/result.log");

    const ProcessResult list = RunEitool({"list", "--target", dir / "work", pack});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const TextLines lines = SplitTextLines(list.out);
    ASSERT_EQ(lines.size(), members.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        // The piece path is the one the extraction wrote into its log ("-" for "NULL").
        const std::string& logged = log[k + 2];
        EXPECT_TRUE(lines[k].ends_with("  " + (logged == "NULL" ? "-" : logged))) << lines[k];
        EXPECT_NE(lines[k].find(members[k].data.empty() && k != samples::kNamesListIndex
                                    ? "  empty  "
                                    : "  ok     "),
                  std::string::npos)
            << lines[k];
    }
    const auto directory = samples::ReadPackDirectory(ReadWholeFile(pack));
    char expected[64];
    std::snprintf(expected, sizeof expected, "   1  %10u  %10u  ", directory[1].offset,
                  directory[1].size);
    EXPECT_TRUE(lines[1].starts_with(expected)) << lines[1];

    const ProcessResult json = RunEitool({"list", "--json", "--target", dir / "work", pack, pack});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    std::string packInJson; // a JSON string: backslashes (Windows separators) doubled
    for (const char c : pack) {
        packInJson += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    EXPECT_TRUE(json.out.starts_with("[\n{\"pack\": \"" + packInJson + "\", \"entries\": 2536, "));
    EXPECT_NE(json.out.find("{\"position\": 1, \"entry\": 1, \"offset\": " +
                            std::to_string(directory[1].offset)),
              std::string::npos);
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") == 0) {
        WriteWholeFile(dir / "list.json", Bytes(json.out.begin(), json.out.end()));
        EXPECT_EQ(std::system(("python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
                               "sys.exit(len(d) != 2 or len(d[0][\"members\"]) != 2536)' " +
                               (dir / "list.json"))
                                  .c_str()),
                  0);
    }
}

TEST(CliPackTools, VerifyReportsEveryProblemAndExitsOneUnlessThePackIsSound) {
    TempDir dir;
    const std::string pack = WriteGamePack(dir);
    const Bytes good = ReadWholeFile(pack);
    const auto directory = samples::ReadPackDirectory(good);
    const std::string member1 = pack + " member 1 (";
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        int exitCode;
        std::string out; // the start of standard output
    };
    const Case cases[] = {
        {"sound", [](Bytes&) {}, 0, ""},
        {"a changed byte", [&](Bytes& bytes) { bytes[directory[1].offset] ^= 0xFF; }, 1, member1},
        {"a member outside the file",
         [&](Bytes& bytes) { StoreU32le(bytes, 4 + 16 + 4, 0x7FFFFFFFu); }, 1, member1},
        {"a count beyond the size", [](Bytes& bytes) { StoreU32le(bytes, 0, 0x10000000u); }, 1,
         pack + ": a directory of 268435456 entries runs past the end of the file"},
        {"too few entries for a names list", [](Bytes& bytes) { StoreU32le(bytes, 0, 100u); }, 1,
         pack + " has no names list!\n"},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        c.damage(bytes);
        WriteWholeFile(pack, bytes);
        const ProcessResult verify = RunEitool({"verify", pack});
        EXPECT_EQ(verify.exitCode, c.exitCode) << c.what << verify.err;
        EXPECT_TRUE(verify.out.starts_with(c.out)) << c.what << ": " << verify.out;
        EXPECT_EQ(verify.err, "") << c.what;
    }
    const ProcessResult missing = RunEitool({"verify", dir / "none.tre"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("none.tre"), std::string::npos);
}

TEST(CliPackTools, DryRunOfAPackReportsEveryPieceAndWritesNothing) {
    TempDir dir;
    const std::string pack = WriteGamePack(dir);
    ASSERT_EQ(RunEitool({"extract", "--target", dir / "work", pack}).exitCode, 0);
    const TextLines log = LoadTextLines(dir / "work/result.log");
    const auto directory = samples::ReadPackDirectory(ReadWholeFile(pack));
    // Position 0 grows by 3 bytes, position 1 shrinks to 2 bytes, position 4 is deleted.
    ASSERT_NE(log[2], "NULL");
    ASSERT_NE(log[3], "NULL");
    ASSERT_NE(log[6], "NULL");
    WriteWholeFile(log[2], Bytes(directory[0].size + 3, 'x'));
    WriteWholeFile(log[3], Bytes{'h', 'i'});
    fs::remove(log[6]);
    const std::map<std::string, Bytes> before = Snapshot(dir.Path());

    const ProcessResult dry =
        RunEitool({"insert", "--dry-run", "--target", dir / "work", dir / "work/result.log"});
    EXPECT_EQ(dry.exitCode, 1) << dry.err;
    EXPECT_EQ(Snapshot(dir.Path()), before);
    const auto free = [&](std::size_t k) {
        return std::to_string(directory[k + 1].offset - directory[k].offset - directory[k].size);
    };
    const std::string room0 = "room " + std::to_string(directory[0].size) + ", free after it ";
    const std::string expected = log[2] + " greater by 3 bytes.\n" + "grown     " + log[2] + " (" +
                                 std::to_string(directory[0].size + 3) + " bytes; " + room0 +
                                 free(0) + ")\n" + "insert    " + log[3] + " (2 bytes; room " +
                                 std::to_string(directory[1].size) + ", free after it " + free(1) +
                                 ")\n";
    EXPECT_TRUE(dry.out.starts_with(expected)) << dry.out.substr(0, 600);
    EXPECT_NE(dry.out.find("\nmissing   " + log[6] + " (room "), std::string::npos);
    EXPECT_NE(dry.out.find("\nunchanged "), std::string::npos);
    EXPECT_TRUE(
        dry.out.ends_with("write     " + pack + " (1 member(s), 2 bytes, and its directory)\n"))
        << dry.out.substr(dry.out.size() - 200);
    EXPECT_NE(dry.err.find("1 of "), std::string::npos); // the missing piece, as in a real run

    const ProcessResult real =
        RunEitool({"insert", "--target", dir / "work", dir / "work/result.log"});
    EXPECT_EQ(real.exitCode, dry.exitCode);
    EXPECT_EQ(real.out, log[2] + " greater by 3 bytes.\n");
    EXPECT_EQ(RunEitool({"verify", pack}).exitCode, 0);
}

TEST(CliPackTools, DryRunOfATextureAndAFontWritesNothing) {
    TempDir dir;
    CreateDirectories(dir / "game");
    CreateDirectories(dir / "patched");
    const std::string texture = dir / "game/tex.tgax";
    WriteWholeFile(texture, samples::BuildExtendedImage(samples::MakeSampleTexture(4, 64, 16, 5)));
    ASSERT_EQ(RunEitool({"extract", "--target", dir / "levels", texture}).exitCode, 0);

    const samples::SampleFont font = samples::MakeSampleFont();
    const std::string fontPath = dir / "game/font_main.fnt";
    WriteWholeFile(fontPath, samples::BuildFont(font.tables));
    font.sheet.SaveToFile(dir / "game/font_main.bmp");
    samples::MakeGlyphStrip({200}, 16).SaveToFile(dir / "new.bmp");
    WriteWholeFile(dir / "chars.tbl", samples::MakeCharacterTable({200}));
    SaveTextLines(dir / "font.log", {"#Format: FNT", "#Source: " + fontPath, dir / "chars.tbl",
                                     "0:192:0:1:1", dir / "new.bmp"});
    fs::remove(dir / "levels/tex_mip_01.bmp");
    const std::map<std::string, Bytes> before = Snapshot(dir.Path());

    const ProcessResult textureRun =
        RunEitool({"insert", "--dry-run", "--target", dir / "patched", dir / "levels/result.log"});
    EXPECT_EQ(textureRun.exitCode, 0) << textureRun.err;
    EXPECT_EQ(textureRun.out, "insert    " + (dir / "levels/tex_mip_00.bmp") + "\nmissing   " +
                                  (dir / "levels/tex_mip_01.bmp") + "\nwrite     " +
                                  (dir / "patched/tex.tgax") + "\n");
    const ProcessResult fontRun =
        RunEitool({"insert", "--dry-run", "--target", dir / "patched", dir / "font.log"});
    EXPECT_EQ(fontRun.exitCode, 0) << fontRun.err;
    EXPECT_EQ(fontRun.out, "insert    " + (dir / "new.bmp") + "\nwrite     " +
                               (dir / "patched/font_main.bmp") + "\nwrite     " +
                               (dir / "patched/font_main.fnt") + "\n");
    EXPECT_EQ(Snapshot(dir.Path()), before);

    const ProcessResult noTarget =
        RunEitool({"insert", "--dry-run", "--target", dir / "none", dir / "font.log"});
    EXPECT_EQ(noTarget.exitCode, 2);
    EXPECT_FALSE(FileExists(dir / "none"));
}

} // namespace
} // namespace eitool
