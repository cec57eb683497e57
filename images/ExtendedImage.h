#pragma once

#include "images/Bitmap.h"
#include "run/RunContext.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace eitool {

// Writes every level of the extended image (*.bmpx, *.tgax) at path as an indexed BMP file below
// the target directory and appends one ResultLog line per level (the BMP path, or "NULL"). The
// BMP files are its pieces: an image whose BMP paths an earlier source of the run wrote writes
// nothing (ClaimPieces), and an edited BMP file is replaced only with the user's consent
// (AllowReplacingEdited).
void ExtractExtendedImage(RunContext& run, const std::string& path);

// Writes a patched copy of the extended image open as run.state.SourceStream to outputPath, with
// the level bitmaps named by the lines from firstLine on. Returns the line after the block's last
// level line; where no line names an existing file, the line before the first line that ends
// the search (the inserter contract: app/LogReplay.h).
std::int32_t InsertExtendedImage(RunContext& run, const std::string& outputPath,
                                 std::int32_t firstLine);

// Whether the open file can be an extended image whose levels go in: its header reads, with one
// image of a known pixel format.
bool HoldsExtendedImage(FileStream& file);

// Puts a palette of count entries of entrySize bytes from the console's storage order into index
// order, in place (see the .cpp for the rule).
void ReorderClut(std::span<std::uint8_t> palette, int count, int entrySize);

// The bitmap palette of count entries of red, green, blue, alpha bytes (alpha dropped).
std::vector<Rgb> MakePalette(int count, std::span<const std::uint8_t> palette);

// Exchanges the high and low nibble of each of length bytes.
void SwapNibbles(std::uint8_t* row, std::size_t length);

} // namespace eitool
