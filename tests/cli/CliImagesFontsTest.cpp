// The texture and font cycles through the real eitool binary.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "formats/Font.h"
#include "images/Bitmap.h"
#include "images/ExtendedImage.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"
#include "support/FilesBelow.h"
#include "support/Platform.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string_view>
#include <utility>

namespace eitool {
namespace {

using testing::FilesBelow;
using testing::ProcessResult;
using testing::RunEitool;
using testing::TempDir;

// Edits a level with Pillow: edit.py IN HOW OUT, where HOW is "reverse" (the palette in reverse
// order), "keep", "rgb" (a 24-bit file), "mono" (a 1-bit file of black and white) or "added"
// (24-bit, a colour outside the palette). A box is drawn in white, which every sample palette
// holds, or in the added colour.
constexpr std::string_view kEditScript = R"(import sys
from PIL import Image, ImageDraw
source, how, target = sys.argv[1:4]
im = Image.open(source)
if how == "reverse":
    im = im.remap_palette(list(range(255, -1, -1)))
if how in ("rgb", "added"):
    im = im.convert("RGB")
if how == "mono":
    im = im.convert("1")
ink = (1, 2, 3) if how == "added" else (255, 255, 255)
if im.mode == "1":
    ink = 1
elif im.mode == "P":
    palette = im.getpalette()
    ink = next(i for i in range(len(palette) // 3) if tuple(palette[3 * i:3 * i + 3]) == ink)
ImageDraw.Draw(im).rectangle([2, 2, 10, 10], fill=ink)
im.save(target)
)";

TEST(CliTextures, ExtractEditInsertWritesAPatchedCopyAndReportsRefusals) {
    TempDir dir;
    CreateDirectories(dir / "game");
    const std::string source = dir / "game/tex.tgax";
    const std::vector<std::uint8_t> original =
        samples::BuildExtendedImage(samples::MakeSampleTexture(4, 64, 16, 5)); // 64, 32, 16
    WriteWholeFile(source, original);

    const ProcessResult extract = RunEitool({"extract", "--target", dir / "levels", source});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(extract.out, "");
    EXPECT_EQ(testing::SlurpFile(dir / "levels/result.log"),
              "#Format: BTE\r\n#Source: " + source + "\r\n" + (dir / "levels/tex_mip_00.bmp") +
                  "\r\n" + (dir / "levels/tex_mip_01.bmp") + "\r\nNULL\r\n");

    // Level 1 becomes a 256-colour picture with a colour that the texture's palette lacks.
    Bitmap eight;
    eight.SetPixelFormat(pf8bit);
    eight.SetPalette({Rgb{1, 2, 3}});
    eight.SetSize(32, 32);
    eight.SaveToFile(dir / "levels/tex_mip_01.bmp");
    // Level 0 keeps its indices and gets a new colour for one of them: it goes in by its indices,
    // with a note on standard error.
    Bitmap level = Bitmap::LoadFromFile(dir / "levels/tex_mip_00.bmp");
    std::vector<Rgb> palette = level.Palette();
    palette[level.PixelValue(0, 0)] = Rgb{1, 2, 3};
    level.SetPalette(palette);
    level.SaveToFile(dir / "levels/tex_mip_00.bmp");
    const ProcessResult insert =
        RunEitool({"insert", "--target", dir / "patched", dir / "levels/result.log"});
    EXPECT_EQ(insert.exitCode, 1) << insert.err;
    EXPECT_EQ(insert.out, (dir / "levels/tex_mip_01.bmp") + " not 4 bit!\n");
    EXPECT_EQ(insert.err, "eitool: " + (dir / "levels/tex_mip_00.bmp") +
                              ": colours outside the texture's palette were found; the indices "
                              "were used as they are\n");
    EXPECT_EQ(ReadWholeFile(dir / "patched/tex.tgax"), original);
    EXPECT_EQ(ReadWholeFile(source), original);
}

// ---- BMP files written by image libraries and editors ------------------------------------

// A command of the shell; true when it ran and succeeded.
bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A Python 3 that has Pillow, or empty.
std::string PythonWithPillow() {
    for (const char* python : {"python3", "/usr/bin/python3"}) {
        if (Shell(std::string(python) + " -c 'import PIL'")) {
            return python;
        }
    }
    return "";
}

// What an edited level must give: its colours or its indices in the patched texture, or a
// patched texture equal to its source.
enum class Outcome { Colours, Indices, Unchanged };

struct EditorCase {
    const char* what;
    const char* level;   // "title" (256 colours) or "icons" (16 colours)
    std::string command; // the tool's arguments; IN and OUT stand for the two files
    int exitCode;
    std::string result; // after the level's path, with its newline; empty for none
    bool notice;
    Outcome outcome;
};

// A 256-colour and a 16-colour texture of one 64 x 64 level each, extracted once; every case
// edits one level from the extracted original with a tool and inserts the log.
class CliEditedTextures : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectories(dir / "game");
        for (const auto& [name, depth] : {std::pair{"title.bmpx", 8}, std::pair{"icons.tgax", 4}}) {
            samples::SampleTexture texture =
                samples::MakeSampleTexture(depth, 64, 64, static_cast<std::uint32_t>(depth));
            texture.levelTable = false; // one level is described by the header
            WriteWholeFile(dir / ("game/" + std::string(name)),
                           samples::BuildExtendedImage(texture));
        }
        const ProcessResult extract = RunEitool({"extract", "--target", dir / "levels",
                                                 dir / "game/title.bmpx", dir / "game/icons.tgax"});
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        CreateDirectories(dir / "original");
        for (const char* level : {"title", "icons"}) {
            WriteWholeFile(Original(level), ReadWholeFile(Level(level)));
        }
    }

    std::string Level(const std::string& level) const {
        return dir / ("levels/" + level + "_mip_00.bmp");
    }
    std::string Original(const std::string& level) const {
        return dir / ("original/" + level + "_mip_00.bmp");
    }
    std::string Source(const std::string& level) const {
        return dir / (level == "title" ? "game/title.bmpx" : "game/icons.tgax");
    }

    // Edits the level with tool and the case's arguments, inserts, and checks what the case
    // expects.
    void Check(const std::string& tool, const EditorCase& c, int number) {
        SCOPED_TRACE(c.what);
        for (const char* level : {"title", "icons"}) {
            WriteWholeFile(Level(level), ReadWholeFile(Original(level)));
        }
        std::string command = c.command;
        command.replace(command.find("IN"), 2, Quoted(Original(c.level)));
        command.replace(command.find("OUT"), 3, Quoted(Level(c.level)));
        ASSERT_TRUE(Shell(tool + " " + command)) << command;
        if (std::string_view(c.what).starts_with("reordered")) {
            EXPECT_NE(Bitmap::LoadFromFile(Level(c.level)).Palette(),
                      Bitmap::LoadFromFile(Original(c.level)).Palette());
        }
        const ProcessResult insert =
            RunEitool({"insert", "--target", dir / "patched", dir / "levels/result.log"});
        EXPECT_EQ(insert.exitCode, c.exitCode) << insert.err;
        EXPECT_EQ(insert.out, c.result.empty() ? "" : Level(c.level) + c.result);
        EXPECT_EQ(insert.err.find(Level(c.level) + ": colours outside the texture's palette were "
                                                   "found; the indices were used as they are") !=
                      std::string::npos,
                  c.notice)
            << insert.err;
        const std::string patched = dir / ("patched/" + FileNamePart(Source(c.level)));
        if (c.outcome == Outcome::Unchanged) {
            EXPECT_EQ(ReadWholeFile(patched), ReadWholeFile(Source(c.level)));
            return;
        }
        const std::string check = dir / ("check" + std::to_string(number));
        ASSERT_EQ(RunEitool({"extract", "--target", check, patched}).exitCode, 0);
        const Bitmap edited = Bitmap::LoadFromFile(Level(c.level));
        const Bitmap back =
            Bitmap::LoadFromFile(check + testing::NativePath("/") + c.level + "_mip_00.bmp");
        ASSERT_EQ(back.Width(), edited.Width());
        for (std::int32_t y = 0; y < edited.Height(); ++y) {
            for (std::int32_t x = 0; x < edited.Width(); ++x) {
                if (c.outcome == Outcome::Colours) {
                    ASSERT_EQ(back.PixelColor(x, y), edited.PixelColor(x, y)) << x << "," << y;
                } else {
                    ASSERT_EQ(back.PixelValue(x, y), edited.PixelValue(x, y)) << x << "," << y;
                }
            }
        }
    }

    TempDir dir;
};

// Pillow saves a 16-colour picture as an 8-bit file; palette order and depth are the script's.
TEST_F(CliEditedTextures, FilesWrittenByPillowGoInByTheirColours) {
    const std::string python = PythonWithPillow();
    if (python.empty()) {
        GTEST_SKIP() << "no python3 with Pillow (python3-pil)";
    }
    const std::string script = dir / "edit.py";
    WriteWholeFile(script, std::vector<std::uint8_t>(kEditScript.begin(), kEditScript.end()));
    const std::vector<EditorCase> cases = {
        {"reordered palette", "title", "IN reverse OUT", 0, "", false, Outcome::Colours},
        {"8-bit file for a 16-colour level", "icons", "IN keep OUT", 0, "", false,
         Outcome::Colours},
        {"24-bit file", "title", "IN rgb OUT", 0, "", false, Outcome::Colours},
        {"1-bit file", "icons", "IN mono OUT", 0, "", false, Outcome::Colours},
        {"added colour, 24-bit", "title", "IN added OUT", 1, " not 8 bit!\n", false,
         Outcome::Unchanged},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Check(python + " " + Quoted(script), cases[i], static_cast<int>(i));
    }
}

// ImageMagick writes the colours of a palette picture in an order of its own, at a depth it
// chooses by their number.
TEST_F(CliEditedTextures, FilesWrittenByImageMagickGoInByTheirColours) {
    if (!Shell("convert -version")) {
        GTEST_SKIP() << "no ImageMagick convert (imagemagick)";
    }
    const std::string white = "IN +antialias -fill 'rgb(255,255,255)' -draw 'rectangle 2,2,10,10'";
    const std::string added = "IN +antialias -fill 'rgb(1,2,3)' -draw 'rectangle 2,2,10,10'";
    const std::vector<EditorCase> cases = {
        {"reordered palette", "title", white + " -type Palette BMP3:OUT", 0, "", false,
         Outcome::Colours},
        {"24-bit file", "icons", white + " -type TrueColor BMP3:OUT", 0, "", false,
         Outcome::Colours},
        {"two colours, a 1-bit file", "title",
         "IN -threshold 50% -fill 'rgb(255,255,255)' -draw 'rectangle 2,2,10,10' -type Palette "
         "BMP3:OUT",
         0, "", false, Outcome::Colours},
        {"added colour, same depth", "title", added + " -type Palette BMP3:OUT", 0, "", true,
         Outcome::Indices},
        {"added colour, 24-bit", "icons", added + " -type TrueColor BMP3:OUT", 1, " not 4 bit!\n",
         false, Outcome::Unchanged},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Check("convert", cases[i], static_cast<int>(i));
    }
}

// Saves a level as an editor would: save.py IN HOW OUT, where HOW is "reverse" (the palette in
// reverse order), "rgb", "rgba", or 16-bit words: "cut555" (bits cut, no masks) or "round5551"
// (rounded, the top bit set, with masks).
constexpr std::string_view kSaveScript = R"(import struct, sys
from PIL import Image
source, how, target = sys.argv[1:4]
im = Image.open(source)
if how == "reverse":
    im.remap_palette(list(range(255, -1, -1))).save(target)
elif how in ("rgb", "rgba"):
    im.convert(how.upper()).save(target)
else:
    rgb = im.convert("RGB")
    w, h = rgb.size
    cut = how == "cut555"
    level = (lambda c: c >> 3) if cut else (lambda c: (c * 31 + 127) // 255)
    rows = b""
    for y in range(h - 1, -1, -1):
        row = b"".join(struct.pack("<H", (0 if cut else 0x8000) | level(r) << 10 | level(g) << 5 |
                                   level(b)) for r, g, b in (rgb.getpixel((x, y)) for x in range(w)))
        rows += row + b"\0" * (-len(row) % 4)
    header = struct.pack("<IiiHHIIiiII", 40 if cut else 56, w, h, 1, 16, 0 if cut else 3,
                         len(rows), 0, 0, 0, 0)
    if not cut:
        header += struct.pack("<4I", 0x7C00, 0x3E0, 0x1F, 0x8000)
    start = 14 + len(header)
    open(target, "wb").write(b"BM" + struct.pack("<IHHI", start + len(rows), 0, 0, start) +
                             header + rows)
)";

// A palette that holds every colour twice, opaque and half transparent, cannot be told apart in
// an editor: an unchanged level saved by any of them gives the texture's bytes back.
TEST(CliEditorSaves, AnUnchangedLevelGivesTheTexturesBytesWhateverTheEditorSavedItAs) {
    TempDir dir;
    CreateDirectories(dir / "game");
    samples::SampleTexture texture;
    texture.levelTable = false;
    for (int k = 0; k < 256; ++k) {
        const int colour = k % 128;
        const std::uint8_t entry[4] = {static_cast<std::uint8_t>((colour & 7) * 36),
                                       static_cast<std::uint8_t>((colour >> 3 & 3) * 80),
                                       static_cast<std::uint8_t>((colour >> 5) * 80 + 10),
                                       static_cast<std::uint8_t>(k < 128 ? 0x80 : 0x40)};
        texture.palette.insert(texture.palette.end(), entry, entry + 4);
    }
    ReorderClut(texture.palette, 256, 4); // index order to storage order
    samples::TextureLevel level{64, 64, std::vector<std::uint8_t>(64 * 64)};
    for (std::size_t p = 0; p < level.linear.size(); ++p) {
        level.linear[p] =
            static_cast<std::uint8_t>((p / 512 * 8 + p % 64 / 8) % 128 + (p % 3 == 0 ? 128 : 0));
    }
    texture.levels.push_back(level);
    const std::string source = dir / "game/twice.bmpx";
    WriteWholeFile(source, samples::BuildExtendedImage(texture));
    ASSERT_EQ(RunEitool({"extract", "--target", dir / "levels", source}).exitCode, 0);
    const std::string original = dir / "original.bmp";
    std::filesystem::copy_file(dir / "levels/twice_mip_00.bmp", original);
    WriteWholeFile(dir / "save.py",
                   std::vector<std::uint8_t>(kSaveScript.begin(), kSaveScript.end()));

    struct Case {
        const char* what;
        std::string command; // IN and OUT stand for the two files
        std::string result;  // after the level's path; empty for none
    };
    const std::string python = PythonWithPillow();
    const std::string pillow = python + " " + Quoted(dir / "save.py") + " IN ";
    const std::string added = "convert IN -type TrueColor -fill 'rgb(18,18,18)' -draw 'point 5,5' ";
    const std::vector<Case> cases = {
        {"Pillow, reordered palette", pillow + "reverse OUT", ""},
        {"Pillow, RGB 24", pillow + "rgb OUT", ""},
        {"Pillow, RGBA 32", pillow + "rgba OUT", ""},
        {"16-bit 5-5-5, bits cut", pillow + "cut555 OUT", ""},
        {"16-bit 5-5-5 and alpha, rounded", pillow + "round5551 OUT", ""},
        {"ImageMagick, palette", "convert IN -type Palette BMP3:OUT", ""},
        {"ImageMagick, RGB 24", "convert IN -type TrueColor BMP3:OUT", ""},
        {"ImageMagick, RGBA 32", "convert IN -alpha on -type TrueColorAlpha BMP:OUT", ""},
        {"ImageMagick, RGB 5-6-5", "convert IN -type TrueColor -define bmp:subtype=RGB565 BMP:OUT",
         ""},
        {"ImageMagick, RGB 5-5-5", "convert IN -type TrueColor -define bmp:subtype=RGB555 BMP:OUT",
         ""},
        {"added colour, 5-6-5", added + "-define bmp:subtype=RGB565 BMP:OUT", " not 8 bit!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool usesPillow = c.command.starts_with(pillow);
        if ((usesPillow && python.empty()) || (!usesPillow && !Shell("convert -version"))) {
            continue; // the editor is not installed
        }
        std::string command = c.command;
        command.replace(command.find("IN"), 2, Quoted(original));
        command.replace(command.find("OUT"), 3, Quoted(dir / "levels/twice_mip_00.bmp"));
        ASSERT_TRUE(Shell(command)) << command;
        const ProcessResult insert =
            RunEitool({"insert", "--target", dir / "patched", dir / "levels/result.log"});
        EXPECT_EQ(insert.exitCode, c.result.empty() ? 0 : 1) << insert.err;
        EXPECT_EQ(insert.out, c.result.empty() ? "" : (dir / "levels/twice_mip_00.bmp") + c.result);
        EXPECT_EQ(ReadWholeFile(dir / "patched/twice.bmpx"), ReadWholeFile(source));
    }
}

TEST(CliFonts, ExtractTheStripThenInsertNewGlyphsFromAHandWrittenLog) {
    TempDir dir;
    CreateDirectories(dir / "game");
    const samples::SampleFont font = samples::MakeSampleFont();
    const std::vector<std::uint8_t> fontBytes = samples::BuildFont(font.tables);
    const std::string fontPath = dir / "game/font_main.fnt";
    WriteWholeFile(fontPath, fontBytes);
    font.sheet.SaveToFile(dir / "game/font_main.bmp");

    const ProcessResult extract = RunEitool({"extract", "--target", dir / "strip", fontPath});
    ASSERT_EQ(extract.exitCode, 0) << extract.err;
    EXPECT_EQ(LoadTextLines(dir / "strip/result.log"),
              (TextLines{"#Format: FNT", "#Source: " + fontPath, dir / "strip/font_main.bmp"}));

    samples::MakeGlyphStrip({200}, 16).SaveToFile(dir / "new.bmp");
    WriteWholeFile(dir / "chars.tbl", samples::MakeCharacterTable({200}));
    SaveTextLines(dir / "font.log", {"#Format: FNT", "#Source: " + fontPath, dir / "chars.tbl",
                                     "0:192:0:1:1", dir / "new.bmp"});
    const ProcessResult insert =
        RunEitool({"insert", "--target", dir / "patched", dir / "font.log"});
    ASSERT_EQ(insert.exitCode, 0) << insert.err << insert.out;
    const std::vector<std::uint8_t> patched = ReadWholeFile(dir / "patched/font_main.fnt");
    const samples::FontGlyph slot = samples::ReadFontGlyph(patched, 128);
    EXPECT_EQ(slot.left, 0.0f);
    EXPECT_EQ(slot.top, 192.0f / 256.0f);
    EXPECT_EQ(slot.bottom, 208.0f / 256.0f);
    EXPECT_EQ(slot.cellHeight, 16.0f + 14.0f);
    EXPECT_TRUE(FileExists(dir / "patched/font_main.bmp"));
    EXPECT_EQ(ReadWholeFile(fontPath), fontBytes);
}

// An insertion whose output would replace a file that it reads writes nothing of that block and
// says which file and that another target is needed.
TEST(CliInsertOutputs, AnOutputThatIsAnInputOfItsBlockIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        std::string target; // below the test's directory
        std::string table;  // the character table's path, below the test's directory
        std::string strip;
        bool hardLink;    // the strip is linked to target/font_main.bmp (the last case)
        std::string line; // after the replaced file's full path
    };
    const std::string clash = "; choose another target directory!\n";
    const std::vector<Case> cases = {
        {"the extraction's folder as the target", "W", "chars.tbl", "W/font_main.bmp", false,
         " (the glyph strip) would be replaced by the changed sheet" + clash},
        {"a character table named like the font", "out", "out/font_main.fnt", "new.bmp", false,
         " (the character table) would be replaced by the changed font" + clash},
        {"a strip linked to the changed sheet's name", "out", "chars.tbl", "new.bmp", true,
         " (the glyph strip) would be replaced by the changed sheet" + clash},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        CreateDirectories(dir / "game");
        CreateDirectories(dir / c.target);
        const samples::SampleFont font = samples::MakeSampleFont();
        const std::string fontPath = dir / "game/font_main.fnt";
        WriteWholeFile(fontPath, samples::BuildFont(font.tables));
        font.sheet.SaveToFile(dir / "game/font_main.bmp");
        ASSERT_EQ(RunEitool({"extract", "--target", dir / "W", fontPath}).exitCode, 0);
        samples::MakeGlyphStrip({200}, 16).SaveToFile(dir / c.strip);
        if (c.hardLink) {
            EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
            std::filesystem::create_hard_link(dir / c.strip, dir / (c.target + "/font_main.bmp"));
        }
        WriteWholeFile(dir / c.table, samples::MakeCharacterTable({200}));
        SaveTextLines(dir / "font.log", {"#Format: FNT", "#Source: " + fontPath, dir / c.table,
                                         "0:192:0:1:1", dir / c.strip});
        const auto before = FilesBelow(dir.Path());
        const ProcessResult insert =
            RunEitool({"insert", "--target", dir / c.target, dir / "font.log"});
        EXPECT_EQ(insert.exitCode, 1) << insert.err;
        const bool table = c.line.find("character table") != std::string::npos;
        EXPECT_EQ(insert.out, (dir / (table ? c.table : c.strip)) + c.line);
        EXPECT_EQ(FilesBelow(dir.Path()), before);
    }
}

TEST(CliInsertOutputs, APatchedTextureThatWouldReplaceItsLevelBitmapIsRefused) {
    TempDir dir;
    CreateDirectories(dir / "game");
    CreateDirectories(dir / "out");
    const std::string source = dir / "game/tex.tgax";
    WriteWholeFile(source, samples::BuildExtendedImage(samples::MakeSampleTexture(8, 64, 32, 3)));
    ASSERT_EQ(RunEitool({"extract", "--target", dir / "levels", source}).exitCode, 0);
    // Level 1's bitmap lies where the patched copy goes.
    std::filesystem::rename(dir / "levels/tex_mip_01.bmp", dir / "out/tex.tgax");
    SaveTextLines(dir / "levels/result.log", {"#Format: BTE", "#Source: " + source,
                                              dir / "levels/tex_mip_00.bmp", dir / "out/tex.tgax"});
    const auto before = FilesBelow(dir.Path());
    const ProcessResult insert =
        RunEitool({"insert", "--target", dir / "out", dir / "levels/result.log"});
    EXPECT_EQ(insert.exitCode, 1) << insert.err;
    EXPECT_EQ(insert.out, (dir / "out/tex.tgax") +
                              " (a level bitmap) would be replaced by the patched copy; choose "
                              "another target directory!\n");
    EXPECT_EQ(FilesBelow(dir.Path()), before);
}

// A sheet without pixels is refused with a results line; the run goes on to the next font.
TEST(CliFonts, ASheetWithoutPixelsIsRefusedByExtraction) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
        PixelFormat format;
    };
    for (const Case& c : {Case{0, 0, pf8bit}, Case{0, 5, pf24bit}, Case{5, 0, pf4bit}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        TempDir dir;
        CreateDirectories(dir / "empty");
        CreateDirectories(dir / "game");
        const samples::SampleFont font = samples::MakeSampleFont();
        const std::vector<std::uint8_t> fontBytes = samples::BuildFont(font.tables);
        WriteWholeFile(dir / "empty/font_main.fnt", fontBytes);
        Bitmap sheet;
        sheet.SetPixelFormat(c.format);
        sheet.SetSize(c.width, c.height);
        sheet.SaveToFile(dir / "empty/font_main.bmp");
        samples::SampleFont other = samples::MakeSampleFont();
        other.tables.textureName = "other.tga";
        WriteWholeFile(dir / "game/other.fnt", samples::BuildFont(other.tables));
        other.sheet.SaveToFile(dir / "game/other.bmp");
        const ProcessResult extract =
            RunEitool({"extract", "--target", dir / "strips", dir / "empty/font_main.fnt",
                       dir / "game/other.fnt"});
        EXPECT_EQ(extract.exitCode, 1) << extract.err;
        EXPECT_EQ(extract.out, (dir / "empty/font_main.bmp") + " has no pixels!\n");
        EXPECT_FALSE(FileExists(dir / "strips/font_main.bmp"));
        EXPECT_TRUE(FileExists(dir / "strips/other.bmp"));
    }
}

} // namespace
} // namespace eitool
