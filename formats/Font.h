#pragma once

#include "images/Bitmap.h"
#include "run/RunContext.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// The glyph of one marked band of a glyph strip: columns Left to Right - 1 hold its pixels, rows
// Top (the band's first marked row) to Bottom - 1 (its last row with glyph pixels). A band without
// glyph pixels has Left == Right == 1 and spans the band's marked rows, so that later bands keep
// their numbers.
struct GlyphBox {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    std::uint32_t spare = 0;
    friend bool operator==(const GlyphBox&, const GlyphBox&) = default;
};

// Writes every glyph of the font at path into a marked strip bitmap in the target directory,
// named after the font's sheet, and appends the strip's path to the ResultLog. The strip is its
// piece: a strip path that an earlier source of the run wrote gives the line "NULL" and no file
// (ClaimPieces), and an edited strip is replaced only with the user's consent
// (AllowReplacingEdited).
void ExtractFont(RunContext& run, const std::string& path);

// Packs the glyphs that the three entry lines from firstLine name (character table file,
// placement line, glyph strip) into the sheet of the font open as the run's source, and writes
// their rectangles and cell sizes into slots 128 onward. Saves the changed sheet into the target
// directory and the changed font at name. Returns firstLine + 3, also for a refused block; for a
// block whose first line is "NULL" (a font the extraction left out) it inserts nothing and
// returns firstLine + 1 (the inserter contract: app/LogReplay.h).
std::int32_t InsertFont(RunContext& run, const std::string& name, std::int32_t firstLine);

// Replaces boxes with one box per marked band of bitmap, top to bottom, and returns their count.
std::int32_t FindGlyphBoxes(const Bitmap& bitmap, std::vector<GlyphBox>& boxes);

// The value that tells glyph pixels from background: the raw 32-bit word in a 32-bit bitmap
// (the fourth byte counts), otherwise the colour as 0xRRGGBB. x, y must lie inside.
std::uint32_t PixelAt(const Bitmap& bitmap, std::int32_t x, std::int32_t y);

// The sheet's file name for a texture name found in a font: its file-name part with the
// extension replaced by ".bmp" (or ".bmp" appended when it has none).
std::string SheetFileName(std::string_view textureName);

} // namespace eitool
