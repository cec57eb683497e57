#include "samples/SampleFont.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"

#include <algorithm>
#include <bit>

namespace eitool::samples {

namespace {

// Font file as built here (little-endian):
//   0    "FNT2"
//   4    u32  version 2
//   8    u32  header size 128
//   12   u32  glyph count
//   16   f32  line height, 20    f32  baseline
//   44   i32  cell table offset, 48 i32 cell table length
//   52   i32  kerning block offset, 56 i32 kerning block length
//   68   i32  coordinate table offset, 72 i32 coordinate table length
//   92   i32  texture name offset, 96 i32 texture name length
//   128  cell table, coordinate table, texture name (NUL-ended, padded to 4), kerning block
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kCellEntrySize = 8;
constexpr std::size_t kCoordEntrySize = 16;
constexpr std::size_t kKerningSize = 64;

constexpr std::int32_t kSheetSize = 256;
constexpr std::int32_t kCellSize = 16;
constexpr std::int32_t kGlyphHeight = 14;

const Rgb kBackground{16, 16, 40};
const Rgb kWhite{255, 255, 255};

// A dark background at index 0, white at 255, and ramps of light colours for glyphs.
std::vector<Rgb> SamplePalette() {
    std::vector<Rgb> palette(256);
    palette[0] = kBackground;
    for (int i = 1; i < 255; ++i) {
        palette[static_cast<std::size_t>(i)] =
            Rgb{static_cast<std::uint8_t>(120 + i % 128), static_cast<std::uint8_t>(200 - i % 64),
                static_cast<std::uint8_t>(80 + (i * 7) % 170)};
    }
    palette[255] = kWhite;
    return palette;
}

Rgb GlyphColour(int n) {
    return Rgb{static_cast<std::uint8_t>(200 + n % 50), static_cast<std::uint8_t>(180 + n % 70),
               static_cast<std::uint8_t>(90 + (n * 13) % 160)};
}

// A frame with a bar across its middle, filling the rectangle's border rows and columns.
void DrawGlyphShape(Bitmap& bitmap, const Rect& rect, Rgb colour) {
    bitmap.FillRect(Rect{rect.left, rect.top, rect.right, rect.top + 1}, colour);
    bitmap.FillRect(Rect{rect.left, rect.bottom - 1, rect.right, rect.bottom}, colour);
    bitmap.FillRect(Rect{rect.left, rect.top, rect.left + 1, rect.bottom}, colour);
    bitmap.FillRect(Rect{rect.right - 1, rect.top, rect.right, rect.bottom}, colour);
    const std::int32_t middle = (rect.top + rect.bottom) / 2;
    bitmap.FillRect(Rect{rect.left, middle, rect.right, middle + 1}, colour);
}

} // namespace

std::vector<std::uint8_t> BuildFont(const FontTables& tables) {
    const std::size_t count = tables.glyphs.size();
    const std::size_t cellOffset = kHeaderSize;
    const std::size_t coordOffset = cellOffset + count * kCellEntrySize;
    const std::size_t nameOffset = coordOffset + count * kCoordEntrySize;
    const std::size_t nameLength = tables.textureName.size() + 1;
    const std::size_t kerningOffset = (nameOffset + nameLength + 3) / 4 * 4;
    std::vector<std::uint8_t> bytes(kerningOffset + kKerningSize, 0);

    bytes[0] = 'F';
    bytes[1] = 'N';
    bytes[2] = 'T';
    bytes[3] = '2';
    StoreU32le(bytes, 4, 2);
    StoreU32le(bytes, 8, kHeaderSize);
    StoreU32le(bytes, 12, static_cast<std::uint32_t>(count));
    StoreF32le(bytes, 16, 20.0F);
    StoreF32le(bytes, 20, 15.0F);
    StoreU32le(bytes, kFontCellOffsetField, static_cast<std::uint32_t>(cellOffset));
    StoreU32le(bytes, kFontCellLengthField, static_cast<std::uint32_t>(count * kCellEntrySize));
    StoreU32le(bytes, 52, static_cast<std::uint32_t>(kerningOffset));
    StoreU32le(bytes, 56, kKerningSize);
    StoreU32le(bytes, kFontCoordOffsetField, static_cast<std::uint32_t>(coordOffset));
    StoreU32le(bytes, 72, static_cast<std::uint32_t>(count * kCoordEntrySize));
    StoreU32le(bytes, kFontNameOffsetField, static_cast<std::uint32_t>(nameOffset));
    StoreU32le(bytes, 96, static_cast<std::uint32_t>(nameLength));

    for (std::size_t i = 0; i < count; ++i) {
        const FontGlyph& glyph = tables.glyphs[i];
        StoreF32le(bytes, cellOffset + i * kCellEntrySize, glyph.cellWidth);
        StoreF32le(bytes, cellOffset + i * kCellEntrySize + 4, glyph.cellHeight);
        const std::size_t at = coordOffset + i * kCoordEntrySize;
        StoreF32le(bytes, at, glyph.left);
        StoreF32le(bytes, at + 4, glyph.top);
        StoreF32le(bytes, at + 8, glyph.right);
        StoreF32le(bytes, at + 12, glyph.bottom);
    }
    std::copy(tables.textureName.begin(), tables.textureName.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(nameOffset));
    for (std::size_t i = 0; i < kKerningSize; ++i) {
        bytes[kerningOffset + i] = static_cast<std::uint8_t>(0xA0 + i * 3);
    }
    return bytes;
}

FontGlyph ReadFontGlyph(const std::vector<std::uint8_t>& font, std::uint32_t slot) {
    ByteReader reader(font);
    reader.Seek(kFontCellOffsetField);
    const std::uint32_t cellOffset = reader.U32le();
    reader.Seek(kFontCoordOffsetField);
    const std::uint32_t coordOffset = reader.U32le();
    FontGlyph glyph;
    ByteReader cell = reader.Sub(std::uint64_t{cellOffset} + kCellEntrySize * slot, kCellEntrySize);
    glyph.cellWidth = cell.F32le();
    glyph.cellHeight = cell.F32le();
    ByteReader coords =
        reader.Sub(std::uint64_t{coordOffset} + kCoordEntrySize * slot, kCoordEntrySize);
    glyph.left = coords.F32le();
    glyph.top = coords.F32le();
    glyph.right = coords.F32le();
    glyph.bottom = coords.F32le();
    return glyph;
}

SampleFont MakeSampleFont(std::uint32_t glyphCount) {
    SampleFont font;
    font.sheet.SetPixelFormat(pf8bit);
    font.sheet.SetPalette(SamplePalette());
    font.sheet.SetSize(kSheetSize, kSheetSize);
    font.sheet.FillRect(Rect{0, 0, kSheetSize, kSheetSize}, kBackground);
    const std::uint32_t perRow = kSheetSize / kCellSize;
    for (std::uint32_t i = 0; i < glyphCount; ++i) {
        // A glyph sits one pixel in from its cell's top-left corner, so that the sheet's
        // top-left pixel is background.
        const auto x = static_cast<std::int32_t>(i % perRow) * kCellSize + 1;
        const auto y = static_cast<std::int32_t>(i / perRow % perRow) * kCellSize + 1;
        const std::int32_t width = 6 + static_cast<std::int32_t>(i % 9);
        const Rect rect{x, y, x + width, y + kGlyphHeight};
        DrawGlyphShape(font.sheet, rect, GlyphColour(static_cast<int>(i)));
        font.rects.push_back(rect);
        const float size = kSheetSize;
        font.tables.glyphs.push_back(
            FontGlyph{static_cast<float>(rect.left) / size, static_cast<float>(rect.top) / size,
                      static_cast<float>(rect.right) / size, static_cast<float>(rect.bottom) / size,
                      static_cast<float>(width + 2), static_cast<float>(kGlyphHeight + 4)});
    }
    return font;
}

std::int32_t StripGlyphWidth(int code) {
    return 5 + code % 8;
}

Bitmap MakeGlyphStrip(const std::vector<int>& codes, std::int32_t glyphHeight, PixelFormat format,
                      std::int32_t bandCount) {
    const std::int32_t bandHeight = glyphHeight + 20;
    std::int32_t width = 0;
    for (const int code : codes) {
        width = std::max(width, StripGlyphWidth(code));
    }
    Bitmap strip;
    strip.SetPixelFormat(format);
    if (format == pf8bit || format == pf4bit) {
        std::vector<Rgb> palette = SamplePalette();
        if (format == pf4bit) {
            palette.resize(15);
            palette.push_back(kWhite);
        }
        strip.SetPalette(palette);
    }
    strip.SetSize(width + 50, bandHeight * bandCount);
    strip.FillRect(Rect{0, 0, strip.Width(), strip.Height()}, kBackground);
    for (std::int32_t band = 0; band < bandCount; ++band) {
        strip.DrawLine(0, band * bandHeight, 0, band * bandHeight + glyphHeight, kWhite);
    }
    for (const int code : codes) {
        const std::int32_t top = (code - 192) * bandHeight;
        DrawGlyphShape(strip, Rect{4, top, 4 + StripGlyphWidth(code), top + glyphHeight},
                       GlyphColour(code));
    }
    return strip;
}

std::vector<std::uint8_t> MakeCharacterTable(const std::vector<int>& codes) {
    std::vector<std::uint8_t> table(256, 0);
    for (const int code : codes) {
        table[static_cast<std::size_t>(code)] = 1;
    }
    return table;
}

} // namespace eitool::samples
