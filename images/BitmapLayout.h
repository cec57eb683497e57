#pragma once

#include "images/Bitmap.h"

#include <cstddef>
#include <cstdint>

// What the bitmap and its BMP files agree on about the layout of pixels in memory.
namespace eitool {

inline bool IsIndexed(PixelFormat format) {
    return format == pf4bit || format == pf8bit;
}

inline std::size_t PaletteLength(PixelFormat format) {
    return format == pf4bit ? 16 : format == pf8bit ? 256 : 0;
}

// Rows are padded to whole 32-bit words, as in a device-independent bitmap, so that a row can be
// written to a BMP file as it is.
inline std::uint64_t StrideOf(std::uint64_t width, int bits) {
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
}

} // namespace eitool
