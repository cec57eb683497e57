#pragma once

#include "common/FileStream.h"
#include "images/Bitmap.h"

#include <array>
#include <cstdint>

namespace eitool {

// Conversion of 4-bit (PSMT4) and 8-bit (PSMT8) textures between the stored layout (the
// Graphics Synthesizer's memory read out as 32-bit pixels) and the linear layout (plain rows, top
// row first, W/2 or W bytes each, no padding). In the linear layout of this unit the left pixel
// of a 4-bit pair is in the LOW nibble. Unswizzle: stored to linear; swizzle: linear to stored.

// Column permutations, indexed by the stored index, giving the linear index: 4-bit nibbles
// (0..127 even columns, 128..255 odd) and 8-bit bytes (0..63 even, 64..127 odd).
extern const std::array<std::uint8_t, 256> ColumnTable4;
extern const std::array<std::uint8_t, 128> ColumnTable8;
// Block numbers by grid row * blocks across + grid column: of a 4-bit texture page (4 across,
// 8 down) and of the stored page, which the 8-bit texture shares (8 across, 4 down).
extern const std::array<std::uint8_t, 32> BlockTable4;
extern const std::array<std::uint8_t, 32> BlockTable32;

// Blocks: 256-byte buffers that must not overlap.
void UnswizzleBlock4(const std::uint8_t* in, std::uint8_t* out);
void SwizzleBlock4(const std::uint8_t* in, std::uint8_t* out);
void UnswizzleBlock8(const std::uint8_t* in, std::uint8_t* out);
void SwizzleBlock8(const std::uint8_t* in, std::uint8_t* out);

// Pages: 8192-byte buffers; width and height are the page size (128 x 128 for 4-bit, 128 x 64
// for 8-bit).
void UnswizzlePage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                    std::uint8_t* out);
void SwizzlePage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                  std::uint8_t* out);
void UnswizzlePage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                    std::uint8_t* out);
void SwizzlePage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                  std::uint8_t* out);

// Whether a W x H texture of depth 4 or 8 fits the page grid: width and height powers of two from
// 32 upward (where the page rectangles map one to one). Only such sizes may be converted.
bool IsSupportedTextureSize(std::int32_t width, std::int32_t height, int depth);

// Whole images of W x H / 2 (4-bit) or W x H (8-bit) bytes; buffers must not overlap; the size
// must be supported. These pick the fastest implementation the CPU allows.
void UnswizzleImage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                     std::uint8_t* out);
void SwizzleImage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out);
void UnswizzleImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                     std::uint8_t* out);
void SwizzleImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out);

// The table-driven versions, page by page through two 8 KiB buffers; the reference that the fast
// ones are tested against.
void UnswizzleImage4Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                              std::uint8_t* out);
void SwizzleImage4Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                            std::uint8_t* out);
void UnswizzleImage8Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                              std::uint8_t* out);
void SwizzleImage8Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                            std::uint8_t* out);

enum TransferDirection { ToBitmap = 0, FromBitmap = 1 };

// Moves one texture between the stream (at its position) and the bitmap, whose width, height and
// format (pf4bit or pf8bit) are set. Reads or writes exactly R x H bytes, R = W / 2 or W. The
// palette is untouched and nibbles are not exchanged. A stream that cannot supply the bytes
// throws its read error before the bitmap is changed.
void TransferTexture(TransferDirection direction, FileStream& stream, Bitmap& bitmap);

} // namespace eitool
