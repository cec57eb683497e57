#pragma once

#include "images/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace eitool::samples {

// One glyph entry of a font: its rectangle as fractions of the sheet and its cell size.
struct FontGlyph {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    float cellWidth = 0;
    float cellHeight = 0;
    friend bool operator==(const FontGlyph&, const FontGlyph&) = default;
};

// The interpreted parts of a font file.
struct FontTables {
    std::vector<FontGlyph> glyphs;
    std::string textureName = "data\\font\\font_main.tga";
};

// Byte positions of the header fields that a font reader interprets.
inline constexpr std::size_t kFontCellOffsetField = 44;
inline constexpr std::size_t kFontCellLengthField = 48;
inline constexpr std::size_t kFontCoordOffsetField = 68;
inline constexpr std::size_t kFontNameOffsetField = 92;

// The bytes of a font file: a 128-byte header (the four interpreted offsets and plausible values
// in the fields around them), the cell table, the coordinate table, the texture name and a
// trailing block of kerning-like bytes that no reader interprets.
std::vector<std::uint8_t> BuildFont(const FontTables& tables);

// Glyph entry slot of font bytes that BuildFont (or an insertion) made.
FontGlyph ReadFontGlyph(const std::vector<std::uint8_t>& font, std::uint32_t slot);

// A font as a game would ship it, together with its sheet.
struct SampleFont {
    FontTables tables;
    Bitmap sheet;            // 8-bit, glyphs in light colours on a dark background
    std::vector<Rect> rects; // every glyph's rectangle on the sheet, in pixels
};

// glyphCount glyphs (at least 192, so that slots 128 onward exist) of height 14 and widths 6 to
// 14, laid out 16 to a row in 16 x 16 cells on a 256 x 256 sheet, each one pixel in from its
// cell's top-left corner; with 192 glyphs the rows from 192 on stay free for new ones.
// Coordinates are exact fractions of 256.
SampleFont MakeSampleFont(std::uint32_t glyphCount = 192);

// The width of the new glyph that MakeGlyphStrip draws for code.
std::int32_t StripGlyphWidth(int code);

// A glyph strip as a translator would draw it: bandCount bands for the codes 192 onward, each
// glyphHeight + 20 rows high and marked white in column 0 over its first glyphHeight rows, on a
// dark background. For every code in codes, band code - 192 holds a glyph at column 4, row 0 of
// the band, StripGlyphWidth(code) wide and glyphHeight high (a frame with a bar through it).
// 8-bit strips carry a palette with the background at index 0.
Bitmap MakeGlyphStrip(const std::vector<int>& codes, std::int32_t glyphHeight,
                      PixelFormat format = pf8bit, std::int32_t bandCount = 64);

// A character table of 256 bytes with byte c set to 1 for every code in codes.
std::vector<std::uint8_t> MakeCharacterTable(const std::vector<int>& codes);

} // namespace eitool::samples
