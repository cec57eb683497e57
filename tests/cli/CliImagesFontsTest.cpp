// The texture and font cycles through the real eitool binary.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "formats/Font.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::ProcessResult;
using testing::RunEitool;
using testing::TempDir;

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

    // Level 1 becomes a 256-colour picture, as some editors save 16-colour images.
    Bitmap eight;
    eight.SetPixelFormat(pf8bit);
    eight.SetSize(32, 32);
    eight.SaveToFile(dir / "levels/tex_mip_01.bmp");
    const ProcessResult insert =
        RunEitool({"insert", "--target", dir / "patched", dir / "levels/result.log"});
    EXPECT_EQ(insert.exitCode, 1) << insert.err;
    EXPECT_EQ(insert.out, (dir / "levels/tex_mip_01.bmp") + " not 4 bit!\n");
    EXPECT_EQ(ReadWholeFile(dir / "patched/tex.tgax"), original);
    EXPECT_EQ(ReadWholeFile(source), original);
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

} // namespace
} // namespace eitool
