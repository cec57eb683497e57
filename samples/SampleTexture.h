#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace eitool::samples {

// One level of a sample extended image: its size and its pixels in the linear layout (rows top
// first; 4-bit with the left pixel of a pair in the low nibble).
struct TextureLevel {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> linear;
};

struct SampleTexture {
    int depth = 8;                     // 4 or 8
    std::vector<std::uint8_t> palette; // 16 or 256 entries of R, G, B, A in storage order
    std::vector<TextureLevel> levels;  // level 0 first
    bool levelTable = true;            // false: one level described by the header alone
};

// A texture whose levels halve from top x top down to smallest x smallest, each showing the same
// picture at its size: coloured rings around a centre, a black cross through it and a white
// frame with a black inner edge (palette index 0 black, the last index white). The seed moves the
// centre and changes the rings; the same seed gives the same texture.
SampleTexture MakeSampleTexture(int depth, std::int32_t top, std::int32_t smallest,
                                std::uint32_t seed);

// The bytes of an extended image file: header, level table, palette, then every level's pixels
// in the stored layout (levels of 16 pixels or less, which are never converted, are stored as
// they are).
std::vector<std::uint8_t> BuildExtendedImage(const SampleTexture& texture);

} // namespace eitool::samples
