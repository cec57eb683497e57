#include "formats/Font.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <numeric>
#include <tuple>
#include <utility>

namespace eitool {
namespace {

using samples::BuildFont;
using samples::FontGlyph;
using samples::FontTables;
using samples::MakeCharacterTable;
using samples::MakeGlyphStrip;
using samples::MakeSampleFont;
using samples::ReadFontGlyph;
using samples::StripGlyphWidth;
using Bytes = std::vector<std::uint8_t>;

const Rgb kDark{16, 16, 40};
const Rgb kWhite{255, 255, 255};

float Frac(double value, double size) {
    return static_cast<float>(value / size);
}

// A 24-bit strip drawn by hand: one band per (width, height) glyph, bandRows marked rows plus 20,
// each glyph a filled block at column 4 of its band's first row; a width of 0 leaves the band
// empty.
Bitmap HandStrip(const std::vector<std::pair<int, int>>& glyphs, int bandRows,
                 Rgb background = kDark) {
    int widest = 0;
    for (const auto& glyph : glyphs) {
        widest = std::max(widest, glyph.first);
    }
    Bitmap strip;
    strip.SetPixelFormat(pf24bit);
    strip.SetSize(widest + 50, (bandRows + 20) * static_cast<int>(glyphs.size()));
    strip.FillRect(Rect{0, 0, strip.Width(), strip.Height()}, background);
    for (std::size_t j = 0; j < glyphs.size(); ++j) {
        const int top = (bandRows + 20) * static_cast<int>(j);
        strip.DrawLine(0, top, 0, top + bandRows, kWhite);
        const Rgb ink{200, static_cast<std::uint8_t>(10 * j), 60};
        strip.FillRect(Rect{4, top, 4 + glyphs[j].first, top + glyphs[j].second}, ink);
    }
    return strip;
}

// A game folder with a font and its sheet, a target folder, a run state and a surface.
class FontBench {
public:
    testing::TempDir dir;
    RunState state;
    testing::RecordingSurface surface;
    RunContext run{state, surface};
    std::string gameDir = dir / "game";
    std::string outDir = dir / "out";
    std::string fontPath = JoinPath(gameDir, "font_main.fnt");
    std::string sheetPath = JoinPath(gameDir, "font_main.bmp");

    FontBench() {
        std::filesystem::create_directory(gameDir);
        std::filesystem::create_directory(outDir);
        state.TargetDirectory = outDir;
    }

    void WriteFont(const Bytes& font, const Bitmap& sheet) {
        WriteWholeFile(fontPath, font);
        sheet.SaveToFile(sheetPath);
    }
    void WriteSample(std::uint32_t glyphCount = 192) {
        const samples::SampleFont sample = MakeSampleFont(glyphCount);
        WriteFont(BuildFont(sample.tables), sample.sheet);
    }

    Bitmap Extract() {
        ExtractFont(run, fontPath);
        return Bitmap::LoadFromFile(JoinPath(outDir, "font_main.bmp"));
    }

    // Writes the character table and the strip and replays the three entry lines.
    std::int32_t Insert(const Bytes& table, const std::string& placement, const Bitmap& strip) {
        WriteWholeFile(dir / "table.bin", table);
        strip.SaveToFile(dir / "strip.bmp");
        state.ReplayList = {"FNT",     fontPath,          dir / "table.bin",
                            placement, dir / "strip.bmp", "FNT"};
        return InsertAt(2, outDir);
    }
    std::int32_t InsertAt(std::int32_t firstLine, const std::string& target) {
        state.TargetDirectory = target;
        state.SourceStream = std::make_unique<FileStream>(FileStream::Open(fontPath, omReadWrite));
        state.SourcePath = fontPath;
        return InsertFont(run, JoinPath(target, "font_main.fnt"), firstLine);
    }

    std::string OutFont() const { return JoinPath(outDir, "font_main.fnt"); }
    Bitmap OutSheet() const { return Bitmap::LoadFromFile(JoinPath(outDir, "font_main.bmp")); }
    bool OutIsEmpty() const { return std::filesystem::is_empty(outDir); }
};

// One glyph on a plain sheet of the given size, its left-top pixel lit.
void WriteOneGlyphFont(FontBench& bench, int sheetWidth, FontGlyph glyph, std::uint32_t count = 1) {
    FontTables tables;
    tables.glyphs.assign(count, glyph);
    Bitmap sheet;
    sheet.SetPixelFormat(pf24bit);
    sheet.SetSize(sheetWidth, 64);
    sheet.FillRect(Rect{0, 0, sheetWidth, 64}, kDark);
    bench.WriteFont(BuildFont(tables), sheet);
}

// ---- GlyphBoxes ---------------------------------------------------------------------------

TEST(GlyphBoxes, OneBoxPerMarkedBandAndEmptyBandsKeepTheirPlace) {
    const Bitmap strip = MakeGlyphStrip({192, 195}, 16, pf8bit, 5);
    std::vector<GlyphBox> boxes(3);
    ASSERT_EQ(FindGlyphBoxes(strip, boxes), 5);
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0], (GlyphBox{4, 0, 4 + StripGlyphWidth(192), 16, 0}));
    EXPECT_EQ(boxes[3], (GlyphBox{4, 108, 4 + StripGlyphWidth(195), 124, 0}));
    // An empty band: no columns, the band's marked rows.
    EXPECT_EQ(boxes[1], (GlyphBox{1, 36, 1, 52, 0}));
}

TEST(GlyphBoxes, BlankRowsAtTheBottomEndTheBoxButBlankRowsAtTheTopStay) {
    Bitmap strip = HandStrip({{0, 0}}, 16);
    strip.FillRect(Rect{6, 3, 9, 11}, Rgb{250, 40, 40}); // rows 3 to 10 of the band
    std::vector<GlyphBox> boxes;
    ASSERT_EQ(FindGlyphBoxes(strip, boxes), 1);
    EXPECT_EQ(boxes[0], (GlyphBox{6, 0, 9, 11, 0}));
}

TEST(GlyphBoxes, PixelsInColumnsOneToThreeWidenTheBox) {
    Bitmap strip = HandStrip({{5, 16}}, 16);
    strip.SetPixelColor(2, 7, Rgb{1, 2, 3});
    std::vector<GlyphBox> boxes;
    ASSERT_EQ(FindGlyphBoxes(strip, boxes), 1);
    EXPECT_EQ(boxes[0].Left, 2);
    EXPECT_EQ(boxes[0].Right, 9);
}

TEST(GlyphBoxes, BackgroundOfTheMarkColourGivesNoBoxes) {
    const Bitmap strip = HandStrip({{5, 10}, {7, 12}}, 16, kWhite);
    std::vector<GlyphBox> boxes{GlyphBox{}};
    EXPECT_EQ(FindGlyphBoxes(strip, boxes), 0);
    EXPECT_TRUE(boxes.empty());
}

TEST(GlyphBoxes, AdjacentMarkedBandsMergeAndTinyBitmapsHaveNone) {
    Bitmap strip = HandStrip({{5, 10}, {7, 12}}, 16);
    strip.DrawLine(0, 16, 0, 36, kWhite); // no unmarked row between the bands
    std::vector<GlyphBox> boxes;
    ASSERT_EQ(FindGlyphBoxes(strip, boxes), 1);
    EXPECT_EQ(boxes[0], (GlyphBox{4, 0, 11, 48, 0}));

    Bitmap narrow;
    narrow.SetSize(1, 10);
    EXPECT_EQ(FindGlyphBoxes(narrow, boxes), 0);
}

TEST(GlyphBoxes, ComparesColoursExceptIn32BitWhereTheFourthByteCounts) {
    Bitmap indexed;
    indexed.SetPixelFormat(pf8bit);
    std::vector<Rgb> palette(256, kDark);
    palette[255] = kWhite;
    indexed.SetPalette(palette);
    indexed.SetSize(20, 20);
    indexed.SetPixelValue(0, 0, 255);
    indexed.SetPixelValue(5, 0, 7); // another index of the background's colour
    EXPECT_EQ(PixelAt(indexed, 5, 0), PixelAt(indexed, 1, 0));
    std::vector<GlyphBox> boxes;
    ASSERT_EQ(FindGlyphBoxes(indexed, boxes), 1);
    EXPECT_EQ(boxes[0].Right, boxes[0].Left); // empty

    Bitmap deep;
    deep.SetPixelFormat(pf32bit);
    deep.SetSize(20, 20);
    deep.SetPixelValue(0, 0, 0xFFFFFFFFu);
    deep.SetPixelValue(5, 0, 0x01000000u); // black, but another fourth byte
    EXPECT_EQ(PixelAt(deep, 5, 0), 0x01000000u);
    ASSERT_EQ(FindGlyphBoxes(deep, boxes), 1);
    EXPECT_EQ(boxes[0], (GlyphBox{5, 0, 6, 1, 0}));
}

// ---- FontExtract --------------------------------------------------------------------------

TEST(FontExtract, StripSizeMarksAndGlyphPositions) {
    FontBench bench;
    // left 0.25, right 0.5 on a 256-wide sheet: w = 64, x = 64; 16 rows from row 8.
    WriteOneGlyphFont(bench, 256, FontGlyph{0.25F, 0.125F, 0.5F, 0.375F, 70, 20}, 3);
    Bitmap sheet = Bitmap::LoadFromFile(bench.sheetPath);
    sheet.SetPixelColor(64, 8, Rgb{1, 200, 3});  // glyph's top-left
    sheet.SetPixelColor(127, 23, Rgb{9, 9, 9});  // glyph's bottom-right
    sheet.SetPixelColor(128, 8, Rgb{5, 5, 250}); // just right of it
    sheet.SaveToFile(bench.sheetPath);
    // A scanned list does not move fonts' strips into mirrored folders.
    bench.state.ListFromScan = true;
    bench.state.ScanRoot = bench.dir.Path();

    const Bitmap strip = bench.Extract();
    EXPECT_EQ(strip.Width(), 114);
    EXPECT_EQ(strip.Height(), 36 * 3);
    EXPECT_EQ(strip.Format(), pf24bit);
    for (int band = 0; band < 3; ++band) {
        const int top = 36 * band;
        for (int row = 0; row < 36; ++row) {
            EXPECT_EQ(strip.PixelColor(0, top + row), row < 16 ? kWhite : kDark) << row;
        }
        EXPECT_EQ(strip.PixelColor(4, top), (Rgb{1, 200, 3}));
        EXPECT_EQ(strip.PixelColor(67, top + 15), (Rgb{9, 9, 9}));
        EXPECT_EQ(strip.PixelColor(68, top), kDark);
        EXPECT_EQ(strip.PixelColor(3, top), kDark);
    }
    EXPECT_EQ(bench.state.ResultLog, TextLines{JoinPath(bench.outDir, "font_main.bmp")});
    EXPECT_EQ(bench.surface.messages.front(), "Processing font_main.fnt...");
    EXPECT_EQ(bench.surface.progressHistory, (std::vector<int>{33, 66}));
    EXPECT_TRUE(bench.surface.results.empty());
}

TEST(FontExtract, SizesAreTruncatedNotRounded) {
    FontBench bench;
    // 100 * 0.0999f = 9.98999... gives 9 columns; 64 * 0.2499f = 15.99... gives 15 rows.
    WriteOneGlyphFont(bench, 100, FontGlyph{0, 0, 0.0999F, 0.2499F, 0, 0});
    const Bitmap strip = bench.Extract();
    EXPECT_EQ(strip.Width(), 9 + 50);
    EXPECT_EQ(strip.Height(), 15 + 20);
}

TEST(FontExtract, WhiteTopLeftSheetPixelHidesTheMarks) {
    FontBench bench;
    samples::SampleFont sample = MakeSampleFont();
    sample.sheet.SetPixelColor(0, 0, kWhite);
    bench.WriteFont(BuildFont(sample.tables), sample.sheet);
    const Bitmap strip = bench.Extract();
    EXPECT_EQ(strip.PixelColor(0, 0), kWhite);
    EXPECT_EQ(strip.PixelColor(1, 0), kWhite);
    std::vector<GlyphBox> boxes;
    EXPECT_EQ(FindGlyphBoxes(strip, boxes), 0);
}

TEST(FontExtract, MissingSheetIsAnErrorNamingItsPath) {
    FontBench bench;
    bench.WriteSample();
    std::filesystem::remove(bench.sheetPath);
    try {
        ExtractFont(bench.run, bench.fontPath);
        FAIL() << "no error";
    } catch (const FileOpenError& error) {
        EXPECT_EQ(error.Path(), bench.sheetPath);
    }
}

TEST(FontExtract, GlyphsLargerThanTheSheetAreRefused) {
    for (const float right : {2.0F, std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), 1e30F}) {
        FontBench bench;
        WriteOneGlyphFont(bench, 64, FontGlyph{0, 0, right, 0.5F, 0, 0});
        ExtractFont(bench.run, bench.fontPath);
        EXPECT_EQ(
            bench.surface.results,
            std::vector<std::string>{bench.fontPath + " has glyphs larger than their sheet!"});
        EXPECT_TRUE(bench.OutIsEmpty());
    }
}

// A thousand glyphs that each claim the whole sheet ask for a strip of about 270 MB from a font of
// 24 KB and a sheet of 192 KB: refused before the strip is made.
TEST(FontExtract, StripFarLargerThanTheFontAndSheetIsRefused) {
    FontBench bench;
    WriteOneGlyphFont(bench, 1024, FontGlyph{0, 0, 1, 1, 0, 0}, 1000);
    ExtractFont(bench.run, bench.fontPath);
    EXPECT_EQ(bench.surface.results,
              std::vector<std::string>{bench.fontPath +
                                       " would write more than 64 times its size; refused!"});
    EXPECT_TRUE(bench.state.ResultLog.empty());
    EXPECT_TRUE(bench.OutIsEmpty());
}

// Fonts whose header or tables leave the file.
std::vector<std::pair<std::string, Bytes>> MalformedFonts() {
    const Bytes good = BuildFont(MakeSampleFont().tables);
    const std::size_t size = good.size();
    std::vector<std::pair<std::string, Bytes>> fonts;
    auto with = [&](const std::string& what, std::size_t field, std::uint32_t value) {
        Bytes font = good;
        StoreU32le(font, field, value);
        fonts.emplace_back(what, font);
    };
    fonts.emplace_back("header cut short", Bytes(good.begin(), good.begin() + 94));
    fonts.emplace_back("empty file", Bytes{});
    with("negative cell offset", samples::kFontCellOffsetField, 0xFFFFFFF0u);
    with("negative cell length", samples::kFontCellLengthField, 0x80000000u);
    with("cell table past the end", samples::kFontCellOffsetField,
         static_cast<std::uint32_t>(size - 8));
    with("glyph count past the end", samples::kFontCellLengthField, 0x7FFFFFF8u);
    with("coordinate table past the end", samples::kFontCoordOffsetField,
         static_cast<std::uint32_t>(size - 100));
    with("name offset at the end", samples::kFontNameOffsetField, static_cast<std::uint32_t>(size));
    with("name offset far away", samples::kFontNameOffsetField, 0x7FFFFFFFu);
    Bytes noNul = good;
    std::fill(noNul.begin() + LoadU32le(good, samples::kFontNameOffsetField), noNul.end(), 'a');
    fonts.emplace_back("name without NUL", noNul);
    return fonts;
}

TEST(FontExtract, InvalidHeadersAreRefusedAndTheRunGoesOn) {
    for (const auto& [what, font] : MalformedFonts()) {
        SCOPED_TRACE(what);
        FontBench bench;
        bench.WriteFont(font, MakeSampleFont().sheet);
        ExtractFont(bench.run, bench.fontPath);
        EXPECT_EQ(bench.surface.results,
                  std::vector<std::string>{bench.fontPath + " has invalid header!"});
        EXPECT_TRUE(bench.state.ResultLog.empty());
        EXPECT_TRUE(bench.OutIsEmpty());
    }
}

// ---- FontInsert ---------------------------------------------------------------------------

TEST(FontInsert, SingleFlaggedCodeTakesItsBandIntoSlot128) {
    FontBench bench;
    bench.WriteSample();
    std::vector<int> drawn(16);
    std::iota(drawn.begin(), drawn.end(), 192);
    const Bitmap strip = MakeGlyphStrip(drawn, 16);
    EXPECT_EQ(bench.Insert(MakeCharacterTable({200}), "0:192:0:1:1", strip), 5);
    EXPECT_TRUE(bench.surface.results.empty());
    EXPECT_EQ(bench.state.SourceStream, nullptr);

    const Bytes font = ReadWholeFile(bench.OutFont());
    const int w = StripGlyphWidth(200) + 2;
    EXPECT_EQ(ReadFontGlyph(font, 128),
              (FontGlyph{0, 0.75F, Frac(w, 256), Frac(208, 256), float(w + 10), 30}));
    const Bytes original = ReadWholeFile(bench.fontPath);
    EXPECT_EQ(ReadFontGlyph(font, 129), ReadFontGlyph(original, 129));
    EXPECT_EQ(font.size(), original.size());

    // Band 8 starts at row 8 * 36; the glyph's left margin column 3 lands at x = 0.
    const Bitmap sheet = bench.OutSheet();
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(sheet.PixelColor(x, 192 + y), strip.PixelColor(3 + x, 288 + y))
                << x << "," << y;
        }
    }
    EXPECT_EQ(bench.surface.messages.back(), "Processing font_main.fnt...");
}

TEST(FontInsert, PlacementWithMarginsLaysGlyphsSideBySide) {
    FontBench bench;
    bench.WriteSample();
    EXPECT_EQ(bench.Insert(MakeCharacterTable({192, 193}), " 0: 100:0:1:1 and more",
                           HandStrip({{10, 16}, {12, 16}}, 16)),
              5);
    const Bytes font = ReadWholeFile(bench.OutFont());
    EXPECT_EQ(ReadFontGlyph(font, 128),
              (FontGlyph{0, Frac(100, 256), Frac(12, 256), Frac(116, 256), 22, 30}));
    EXPECT_EQ(ReadFontGlyph(font, 129),
              (FontGlyph{Frac(12, 256), Frac(100, 256), Frac(26, 256), Frac(116, 256), 24, 30}));
}

TEST(FontInsert, RowsWrapByTheTallestGlyphOfTheRow) {
    // Glyph A ends exactly at the right edge (x = 244, 12 wide) and stays in the first row; B
    // wraps down by the first row's height; C wraps down by B's.
    const std::vector<std::pair<int, int>> glyphs{{12, 8}, {100, 20}, {200, 6}};
    for (const auto& [placement, rowB, rowC] :
         {std::tuple{"244:10:5:0:0", 18, 38}, std::tuple{"244:10:30:0:0", 40, 60}}) {
        SCOPED_TRACE(placement);
        FontBench bench;
        bench.WriteSample();
        bench.Insert(MakeCharacterTable({192, 193, 194}), placement, HandStrip(glyphs, 20));
        const Bytes font = ReadWholeFile(bench.OutFont());
        EXPECT_EQ(ReadFontGlyph(font, 128).left, Frac(244, 256));
        EXPECT_EQ(ReadFontGlyph(font, 128).right, 1.0F);
        EXPECT_EQ(ReadFontGlyph(font, 128).top, Frac(10, 256));
        EXPECT_EQ(ReadFontGlyph(font, 129).left, 0.0F);
        EXPECT_EQ(ReadFontGlyph(font, 129).top, Frac(rowB, 256));
        EXPECT_EQ(ReadFontGlyph(font, 130).left, 0.0F);
        EXPECT_EQ(ReadFontGlyph(font, 130).top, Frac(rowC, 256));
        const Bitmap sheet = bench.OutSheet();
        EXPECT_EQ(sheet.PixelValue(0, rowC), sheet.NearestIndex(Rgb{200, 20, 60}));
    }
}

TEST(FontInsert, EmptyBandAddsAGlyphOfNoWidthAndTheBandsHeight) {
    FontBench bench;
    bench.WriteSample();
    bench.Insert(MakeCharacterTable({192, 193}), "30:200:0:2:2", HandStrip({{0, 0}, {6, 16}}, 16));
    const Bytes font = ReadWholeFile(bench.OutFont());
    EXPECT_EQ(ReadFontGlyph(font, 128),
              (FontGlyph{Frac(30, 256), Frac(200, 256), Frac(30, 256), Frac(216, 256), 10, 30}));
    EXPECT_EQ(ReadFontGlyph(font, 129).left, Frac(30, 256));
    EXPECT_EQ(ReadFontGlyph(font, 129).right, Frac(40, 256));
}

TEST(FontInsert, GlyphsBelowTheSheetAreWrittenAndReportedOnce) {
    FontBench bench;
    bench.WriteSample();
    EXPECT_EQ(
        bench.Insert(MakeCharacterTable({192, 193}), "0:250:0:0:0", MakeGlyphStrip({192, 193}, 16)),
        5);
    EXPECT_EQ(bench.surface.results,
              std::vector<std::string>{bench.dir / "strip.bmp" +
                                       " has glyphs that do not fit the sheet!"});
    EXPECT_EQ(ReadFontGlyph(ReadWholeFile(bench.OutFont()), 129).bottom, Frac(266, 256));
}

TEST(FontInsert, RoundTripOfAnExtractedStripIntoAnotherFormat) {
    // The extracted strip holds glyph j in band j; inserted for codes 192 onward, glyph j goes to
    // slot 128 + j. Saved as 24-bit first, it is converted back into the 8-bit sheet.
    for (const bool convert : {false, true}) {
        SCOPED_TRACE(convert);
        FontBench bench;
        const samples::SampleFont sample = MakeSampleFont();
        bench.WriteFont(BuildFont(sample.tables), sample.sheet);
        Bitmap strip = bench.Extract();
        if (convert) {
            Bitmap deep;
            deep.SetPixelFormat(pf24bit);
            deep.SetSize(strip.Width(), strip.Height());
            deep.Draw(0, 0, strip);
            strip = deep;
        }
        std::vector<int> codes(20);
        std::iota(codes.begin(), codes.end(), 192);
        EXPECT_EQ(bench.Insert(MakeCharacterTable(codes), "0:192:0:0:0", strip), 5);
        EXPECT_TRUE(bench.surface.results.empty());

        const Bytes font = ReadWholeFile(bench.OutFont());
        const Bitmap sheet = bench.OutSheet();
        EXPECT_EQ(sheet.Format(), pf8bit);
        EXPECT_EQ(sheet.Palette(), sample.sheet.Palette());
        int x = 0;
        for (std::uint32_t j = 0; j < 20; ++j) {
            const Rect& from = sample.rects[j];
            const FontGlyph glyph = ReadFontGlyph(font, 128 + j);
            ASSERT_EQ(glyph, (FontGlyph{Frac(x, 256), 0.75F, Frac(x + from.Width(), 256),
                                        Frac(206, 256), float(from.Width() + 10), 28}))
                << j;
            for (int dy = 0; dy < 14; ++dy) {
                for (int dx = 0; dx < from.Width(); ++dx) {
                    ASSERT_EQ(sheet.PixelValue(x + dx, 192 + dy),
                              sample.sheet.PixelValue(from.left + dx, from.top + dy));
                }
            }
            x += from.Width();
        }
        EXPECT_EQ(ReadFontGlyph(font, 148), sample.tables.glyphs[148]);
        // The source font and sheet stay as they were.
        EXPECT_EQ(ReadWholeFile(bench.fontPath), BuildFont(sample.tables));
        EXPECT_EQ(Bitmap::LoadFromFile(bench.sheetPath).SaveToBytes(), sample.sheet.SaveToBytes());
    }
}

TEST(FontInsert, MissingSheetIsAnErrorNamingItsPath) {
    FontBench bench;
    bench.WriteSample();
    std::filesystem::remove(bench.sheetPath);
    try {
        bench.Insert(MakeCharacterTable({192}), "0:0:0:0:0", MakeGlyphStrip({192}, 16));
        FAIL() << "no error";
    } catch (const FileOpenError& error) {
        EXPECT_EQ(error.Path(), bench.sheetPath);
    }
}

// The character table gives the slot of every code below 192; a new glyph in a slot that still
// shows such a code's glyph is placed as always and reported.
TEST(FontInsert, GlyphsReplacedInSlotsOfOtherCodesAreReported) {
    struct Case {
        const char* what;
        std::uint8_t slotOfCode65;
        bool slot129Empty;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"first new slot in use", 128, false, true},     {"last new slot in use", 129, false, true},
        {"slot past the new glyphs", 130, false, false}, {"slot below 128", 65, false, false},
        {"slot without a glyph", 129, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FontBench bench;
        samples::SampleFont sample = MakeSampleFont();
        if (c.slot129Empty) {
            sample.tables.glyphs[129] = FontGlyph{};
        }
        bench.WriteFont(BuildFont(sample.tables), sample.sheet);
        Bytes table = MakeCharacterTable({192, 193});
        table[65] = c.slotOfCode65;
        const Bitmap strip = MakeGlyphStrip({192, 193}, 16);
        EXPECT_EQ(bench.Insert(table, "0:192:0:1:1", strip), 5);
        EXPECT_EQ(bench.surface.results,
                  c.reported ? std::vector<std::string>{bench.fontPath +
                                                        " has glyphs replaced in slots used by "
                                                        "other codes!"}
                             : std::vector<std::string>{});
        const int w = StripGlyphWidth(192) + 2;
        EXPECT_EQ(ReadFontGlyph(ReadWholeFile(bench.OutFont()), 128),
                  (FontGlyph{0, 0.75F, Frac(w, 256), Frac(208, 256), float(w + 10), 30}));
    }
}

TEST(FontInsert, RefusalsWriteNothingAndStillReturnFirstLinePlusThree) {
    const std::string noFive = " has a placement line that does not hold five numbers x:y:row "
                               "height:left margin:right margin!";
    // what, glyph entries, table, placement line, strip bands, file named ('t'able, 's'trip or
    // 'f'ont), the rest of the results line
    const std::vector<
        std::tuple<std::string, std::uint32_t, Bytes, std::string, int, char, std::string>>
        cases{
            {"short table", 192, Bytes(255, 1), "0:0:0:0:0", 64, 't',
             " is shorter than 256 bytes!"},
            {"four numbers", 192, MakeCharacterTable({192}), "0:192:0:1", 64, 'f', noFive},
            {"no numbers", 192, MakeCharacterTable({192}), "", 64, 'f', noFive},
            {"too large", 192, MakeCharacterTable({192}), "0:99999999999:0:1:1", 64, 'f', noFive},
            {"negative", 192, MakeCharacterTable({192}), "0:192:0:-1:1", 64, 'f',
             " has a negative number in its placement line!"},
            {"too few bands", 192, MakeCharacterTable({192, 200}), "0:0:0:0:0", 8, 's',
             " has 8 glyph bands, but code 200 needs band 8!"},
            {"too few slots", 130, MakeCharacterTable({192, 193, 194}), "0:0:0:0:0", 64, 'f',
             " has 130 glyph entries, but 3 new glyphs need 131!"},
        };
    for (const auto& [what, glyphs, table, placement, bands, named, expected] : cases) {
        SCOPED_TRACE(what);
        FontBench bench;
        bench.WriteSample(glyphs);
        std::vector<int> codes(static_cast<std::size_t>(bands));
        std::iota(codes.begin(), codes.end(), 192);
        EXPECT_EQ(bench.Insert(table, placement, MakeGlyphStrip(codes, 16, pf8bit, bands)), 5);
        const std::string file = named == 't'   ? bench.dir / "table.bin"
                                 : named == 's' ? bench.dir / "strip.bmp"
                                                : bench.fontPath;
        EXPECT_EQ(bench.surface.results, std::vector<std::string>{file + expected});
        EXPECT_TRUE(bench.OutIsEmpty());
        EXPECT_EQ(bench.state.SourceStream, nullptr);
    }
}

TEST(FontInsert, LogEndsEarlyOrTargetIsTheSourceOrHeaderIsInvalid) {
    {
        FontBench bench;
        bench.WriteSample();
        bench.state.ReplayList = {"FNT", bench.fontPath, "table", "0:0:0:0:0"};
        EXPECT_EQ(bench.InsertAt(2, bench.outDir), 5);
        EXPECT_EQ(bench.surface.results,
                  std::vector<std::string>{
                      bench.fontPath + " has fewer than three entry lines after it in the log!"});
    }
    {
        FontBench bench;
        bench.WriteSample();
        const Bytes before = ReadWholeFile(bench.fontPath);
        bench.state.ReplayList = {"FNT", bench.fontPath, "t", "0:0:0:0:0", "s", "x", "y"};
        EXPECT_EQ(bench.InsertAt(3, bench.gameDir), 6);
        EXPECT_EQ(bench.surface.results,
                  std::vector<std::string>{
                      bench.fontPath + " is the source itself; choose another target directory!"});
        EXPECT_EQ(ReadWholeFile(bench.fontPath), before);
    }
    for (const auto& [what, font] : MalformedFonts()) {
        SCOPED_TRACE(what);
        FontBench bench;
        bench.WriteFont(font, MakeSampleFont().sheet);
        EXPECT_EQ(bench.Insert(MakeCharacterTable({192}), "0:0:0:0:0", MakeGlyphStrip({192}, 16)),
                  5);
        EXPECT_EQ(bench.surface.results,
                  std::vector<std::string>{bench.fontPath + " has invalid header!"});
        EXPECT_TRUE(bench.OutIsEmpty());
    }
}

} // namespace
} // namespace eitool
