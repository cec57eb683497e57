#include "images/Ps2util.h"

#include "images/ScratchBuffer.h"
#include "images/ps2/Fast.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <vector>

namespace eitool {

namespace {

// Geometry of the pages and blocks (see the header): every block is 256 bytes, every page 8192,
// and a stored page is 8 blocks across and 4 down, in rows of 256 bytes.
constexpr std::size_t kBlockBytes = 256;
constexpr std::size_t kPageBytes = 8192;
constexpr std::size_t kStoredRowBytes = 256;
constexpr std::size_t kStoredBlockRowBytes = 32;
constexpr std::size_t kStoredBlockRows = 8;
constexpr std::size_t kLinearBlockRowBytes = 16;
constexpr std::size_t kLinearBlockRows = 16;
constexpr std::size_t kColumnBytes = 64;

// A stored column is 2 rows of 8 words of 4 bytes; v is the row, w the word, k the byte in the
// word and n the nibble (0 low, 1 high). The pixel it holds lies in the same column of the
// linear block, at row r = v + 2n and x = (w mod 4) + 4 ((w div 4) XOR n XOR odd) + 8k, where odd
// is 1 for columns 1 and 3. The linear nibble index is 32r + x.
constexpr std::array<std::uint8_t, 256> MakeColumnTable4() {
    std::array<std::uint8_t, 256> table{};
    for (int odd = 0; odd < 2; ++odd) {
        for (int v = 0; v < 2; ++v) {
            for (int w = 0; w < 8; ++w) {
                for (int k = 0; k < 4; ++k) {
                    for (int n = 0; n < 2; ++n) {
                        const int q = 2 * (32 * v + 4 * w + k) + n;
                        const int r = v + 2 * n;
                        const int x = (w % 4) + 4 * ((w / 4) ^ n ^ odd) + 8 * k;
                        table[static_cast<std::size_t>(odd * 128 + q)] =
                            static_cast<std::uint8_t>(32 * r + x);
                    }
                }
            }
        }
    }
    return table;
}

// The 8-bit column: the stored byte (v, w, k) holds the linear pixel at row r = v + 2 (k mod 2)
// and x = (w mod 4) + 4 ((w div 4) XOR (k mod 2) XOR odd) + 8 (k div 2), linear byte 16r + x.
constexpr std::array<std::uint8_t, 128> MakeColumnTable8() {
    std::array<std::uint8_t, 128> table{};
    for (int odd = 0; odd < 2; ++odd) {
        for (int v = 0; v < 2; ++v) {
            for (int w = 0; w < 8; ++w) {
                for (int k = 0; k < 4; ++k) {
                    const int q = 32 * v + 4 * w + k;
                    const int r = v + 2 * (k % 2);
                    const int x = (w % 4) + 4 * ((w / 4) ^ (k % 2) ^ odd) + 8 * (k / 2);
                    table[static_cast<std::size_t>(odd * 64 + q)] =
                        static_cast<std::uint8_t>(16 * r + x);
                }
            }
        }
    }
    return table;
}

struct GridPosition {
    std::size_t column = 0;
    std::size_t row = 0;
};

// Where each block number lies in the stored page (8 across, 4 down).
const std::array<GridPosition, 32>& StoredBlockPositions() {
    static const std::array<GridPosition, 32> positions = [] {
        std::array<GridPosition, 32> inverse{};
        for (std::size_t index = 0; index < 32; ++index) {
            inverse[BlockTable32[index]] = {index % 8, index / 8};
        }
        return inverse;
    }();
    return positions;
}

void CopyRows(const std::uint8_t* from, std::size_t fromStride, std::uint8_t* to,
              std::size_t toStride, std::size_t rowBytes, std::size_t rows) {
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(to + row * toStride, from + row * fromStride, rowBytes);
    }
}

// The block walk of a page: every block of the texture page, in grid order, with the stored
// block of the same number. toStored swizzles, otherwise unswizzles.
template <bool toStored>
void ConvertPage(std::size_t blocksAcross, std::size_t blocksDown, std::size_t linearRowBytes,
                 const std::array<std::uint8_t, 32>& numbers,
                 void (*convertBlock)(const std::uint8_t*, std::uint8_t*), const std::uint8_t* in,
                 std::uint8_t* out) {
    const auto& stored = StoredBlockPositions();
    std::array<std::uint8_t, kBlockBytes> source{};
    std::array<std::uint8_t, kBlockBytes> target{};
    for (std::size_t by = 0; by < blocksDown; ++by) {
        for (std::size_t bx = 0; bx < blocksAcross; ++bx) {
            const GridPosition at = stored[numbers[by * blocksAcross + bx]];
            const std::size_t storedOffset =
                at.row * kStoredBlockRows * kStoredRowBytes + at.column * kStoredBlockRowBytes;
            const std::size_t linearOffset =
                by * kLinearBlockRows * linearRowBytes + bx * kLinearBlockRowBytes;
            if constexpr (toStored) {
                CopyRows(in + linearOffset, linearRowBytes, source.data(), kLinearBlockRowBytes,
                         kLinearBlockRowBytes, kLinearBlockRows);
                convertBlock(source.data(), target.data());
                CopyRows(target.data(), kStoredBlockRowBytes, out + storedOffset, kStoredRowBytes,
                         kStoredBlockRowBytes, kStoredBlockRows);
            } else {
                CopyRows(in + storedOffset, kStoredRowBytes, source.data(), kStoredBlockRowBytes,
                         kStoredBlockRowBytes, kStoredBlockRows);
                convertBlock(source.data(), target.data());
                CopyRows(target.data(), kLinearBlockRowBytes, out + linearOffset, linearRowBytes,
                         kLinearBlockRowBytes, kLinearBlockRows);
            }
        }
    }
}

// The page grid of a W x H image. Pages are 128 x 128 pixels (4-bit) or 128 x 64 (8-bit); an
// image smaller than a page in one direction has a single, smaller page in that direction. A
// 4-bit page's stored rectangle takes its width from the image's height and its row count from
// the image's width (the block grid is transposed in the stored page); an 8-bit one does not.
struct PageGrid {
    std::size_t across = 0;         // PX
    std::size_t down = 0;           // PY
    std::size_t linearRowBytes = 0; // of one page's part of a linear row: PW / 2 or PW
    std::size_t linearRows = 0;     // PH
    std::size_t storedRowBytes = 0; // SW
    std::size_t storedRows = 0;     // SR
};

PageGrid MakePageGrid(std::int32_t width, std::int32_t height, int depth) {
    const std::int32_t pageHeight = depth == 4 ? 128 : 64;
    PageGrid grid;
    grid.across = static_cast<std::size_t>((width - 1) / 128 + 1);
    grid.down = static_cast<std::size_t>((height - 1) / pageHeight + 1);
    const auto pw = static_cast<std::size_t>(grid.across == 1 ? width : 128);
    grid.linearRows = static_cast<std::size_t>(grid.down == 1 ? height : pageHeight);
    grid.linearRowBytes = depth == 4 ? pw / 2 : pw;
    if (depth == 4) {
        grid.storedRowBytes = grid.down == 1 ? 2 * static_cast<std::size_t>(height) : 256;
        grid.storedRows = grid.across == 1 ? static_cast<std::size_t>(width) / 4 : 32;
    } else {
        grid.storedRowBytes = grid.across == 1 ? 2 * static_cast<std::size_t>(width) : 256;
        grid.storedRows = grid.down == 1 ? static_cast<std::size_t>(height) / 2 : 32;
    }
    return grid;
}

// The whole image page by page through two 8 KiB buffers: the page's rectangle of the source
// layout is gathered into one buffer, converted as a whole page into the other, and the
// destination layout's rectangle is copied out. The buffers are cleared only once.
template <bool toStored>
void ConvertImageByPages(std::int32_t width, std::int32_t height, int depth, const std::uint8_t* in,
                         std::uint8_t* out) {
    const PageGrid grid = MakePageGrid(width, height, depth);
    const std::int32_t pageWidth = 128;
    const std::int32_t pageHeight = depth == 4 ? 128 : 64;
    const std::size_t pageLinearRowBytes = depth == 4 ? 64 : 128;
    const std::size_t storedImageRowBytes = grid.across * grid.storedRowBytes;
    const std::size_t linearImageRowBytes = grid.across * grid.linearRowBytes;
    auto convertPage = depth == 4 ? (toStored ? SwizzlePage4 : UnswizzlePage4)
                                  : (toStored ? SwizzlePage8 : UnswizzlePage8);

    std::vector<std::uint8_t> storedPage(kPageBytes, 0);
    std::vector<std::uint8_t> linearPage(kPageBytes, 0);
    for (std::size_t i = 0; i < grid.down; ++i) {
        for (std::size_t j = 0; j < grid.across; ++j) {
            const std::size_t storedOffset =
                i * grid.storedRows * storedImageRowBytes + j * grid.storedRowBytes;
            const std::size_t linearOffset =
                i * grid.linearRows * linearImageRowBytes + j * grid.linearRowBytes;
            if constexpr (toStored) {
                CopyRows(in + linearOffset, linearImageRowBytes, linearPage.data(),
                         pageLinearRowBytes, grid.linearRowBytes, grid.linearRows);
                convertPage(pageWidth, pageHeight, linearPage.data(), storedPage.data());
                CopyRows(storedPage.data(), kStoredRowBytes, out + storedOffset,
                         storedImageRowBytes, grid.storedRowBytes, grid.storedRows);
            } else {
                CopyRows(in + storedOffset, storedImageRowBytes, storedPage.data(), kStoredRowBytes,
                         grid.storedRowBytes, grid.storedRows);
                convertPage(pageWidth, pageHeight, storedPage.data(), linearPage.data());
                CopyRows(linearPage.data(), pageLinearRowBytes, out + linearOffset,
                         linearImageRowBytes, grid.linearRowBytes, grid.linearRows);
            }
        }
    }
}

bool IsPowerOfTwo(std::int32_t value) {
    return value > 0 && (value & (value - 1)) == 0;
}

} // namespace

const std::array<std::uint8_t, 256> ColumnTable4 = MakeColumnTable4();
const std::array<std::uint8_t, 128> ColumnTable8 = MakeColumnTable8();

// Block numbers of the 4-bit texture page, row by row (4 across, 8 down): bit 0 of the number is
// bit 0 of the grid row, bit 1 bit 0 of the grid column, bit 2 bit 1 of the row, bit 3 bit 1 of
// the column, bit 4 bit 2 of the row.
const std::array<std::uint8_t, 32> BlockTable4 = {
    0,  2,  8,  10, //
    1,  3,  9,  11, //
    4,  6,  12, 14, //
    5,  7,  13, 15, //
    16, 18, 24, 26, //
    17, 19, 25, 27, //
    20, 22, 28, 30, //
    21, 23, 29, 31, //
};

// Block numbers of the stored page and of the 8-bit texture page, row by row (8 across, 4 down):
// bit 0 of the number is bit 0 of the grid column, bit 1 bit 0 of the row, bit 2 bit 1 of the
// column, bit 3 bit 1 of the row, bit 4 bit 2 of the column.
const std::array<std::uint8_t, 32> BlockTable32 = {
    0,  1,  4,  5,  16, 17, 20, 21, //
    2,  3,  6,  7,  18, 19, 22, 23, //
    8,  9,  12, 13, 24, 25, 28, 29, //
    10, 11, 14, 15, 26, 27, 30, 31, //
};

// Each stored byte of a column holds two pixels of the same linear column; its low nibble goes
// to linear nibble ColumnTable4[2i] and its high nibble to ColumnTable4[2i + 1]. A linear nibble
// index p is byte p / 2, low nibble for even p (the left pixel of a pair).
void UnswizzleBlock4(const std::uint8_t* in, std::uint8_t* out) {
    std::memset(out, 0, kBlockBytes);
    for (std::size_t c = 0; c < 4; ++c) {
        const std::uint8_t* table = ColumnTable4.data() + (c % 2) * 128;
        std::uint8_t* column = out + c * kColumnBytes;
        for (std::size_t i = 0; i < kColumnBytes; ++i) {
            const std::uint8_t byte = in[c * kColumnBytes + i];
            for (std::size_t n = 0; n < 2; ++n) {
                const std::uint8_t p = table[2 * i + n];
                const auto nibble = static_cast<std::uint8_t>((byte >> (4 * n)) & 0x0F);
                column[p / 2] |= static_cast<std::uint8_t>(nibble << (4 * (p % 2)));
            }
        }
    }
}

void SwizzleBlock4(const std::uint8_t* in, std::uint8_t* out) {
    for (std::size_t c = 0; c < 4; ++c) {
        const std::uint8_t* table = ColumnTable4.data() + (c % 2) * 128;
        const std::uint8_t* column = in + c * kColumnBytes;
        for (std::size_t i = 0; i < kColumnBytes; ++i) {
            std::uint8_t byte = 0;
            for (std::size_t n = 0; n < 2; ++n) {
                const std::uint8_t p = table[2 * i + n];
                const auto nibble =
                    static_cast<std::uint8_t>((column[p / 2] >> (4 * (p % 2))) & 0x0F);
                byte = static_cast<std::uint8_t>(byte | (nibble << (4 * n)));
            }
            out[c * kColumnBytes + i] = byte;
        }
    }
}

void UnswizzleBlock8(const std::uint8_t* in, std::uint8_t* out) {
    for (std::size_t c = 0; c < 4; ++c) {
        const std::uint8_t* table = ColumnTable8.data() + (c % 2) * 64;
        for (std::size_t i = 0; i < kColumnBytes; ++i) {
            out[c * kColumnBytes + table[i]] = in[c * kColumnBytes + i];
        }
    }
}

void SwizzleBlock8(const std::uint8_t* in, std::uint8_t* out) {
    for (std::size_t c = 0; c < 4; ++c) {
        const std::uint8_t* table = ColumnTable8.data() + (c % 2) * 64;
        for (std::size_t i = 0; i < kColumnBytes; ++i) {
            out[c * kColumnBytes + i] = in[c * kColumnBytes + table[i]];
        }
    }
}

void UnswizzlePage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                    std::uint8_t* out) {
    ConvertPage<false>(static_cast<std::size_t>(width / 32), static_cast<std::size_t>(height / 16),
                       static_cast<std::size_t>(width / 2), BlockTable4, UnswizzleBlock4, in, out);
}

void SwizzlePage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                  std::uint8_t* out) {
    ConvertPage<true>(static_cast<std::size_t>(width / 32), static_cast<std::size_t>(height / 16),
                      static_cast<std::size_t>(width / 2), BlockTable4, SwizzleBlock4, in, out);
}

void UnswizzlePage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                    std::uint8_t* out) {
    ConvertPage<false>(static_cast<std::size_t>(width / 16), static_cast<std::size_t>(height / 16),
                       static_cast<std::size_t>(width), BlockTable32, UnswizzleBlock8, in, out);
}

void SwizzlePage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                  std::uint8_t* out) {
    ConvertPage<true>(static_cast<std::size_t>(width / 16), static_cast<std::size_t>(height / 16),
                      static_cast<std::size_t>(width), BlockTable32, SwizzleBlock8, in, out);
}

// Widths and heights that are powers of two from 32 upward fill the page grid exactly: every
// page's linear part and its stored rectangle hold the same blocks, so the image converts one to
// one. Other sizes either leave gaps in the pages or run past the end of the image.
bool IsSupportedTextureSize(std::int32_t width, std::int32_t height, int depth) {
    return (depth == 4 || depth == 8) && width >= 32 && height >= 32 && IsPowerOfTwo(width) &&
           IsPowerOfTwo(height);
}

void UnswizzleImage4Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                              std::uint8_t* out) {
    ConvertImageByPages<false>(width, height, 4, in, out);
}

void SwizzleImage4Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                            std::uint8_t* out) {
    ConvertImageByPages<true>(width, height, 4, in, out);
}

void UnswizzleImage8Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                              std::uint8_t* out) {
    ConvertImageByPages<false>(width, height, 8, in, out);
}

void SwizzleImage8Reference(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                            std::uint8_t* out) {
    ConvertImageByPages<true>(width, height, 8, in, out);
}

void UnswizzleImage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                     std::uint8_t* out) {
    assert(IsSupportedTextureSize(width, height, 4));
    ps2detail::ChosenRoutines().unswizzle4(width, height, in, out);
}

void SwizzleImage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out) {
    assert(IsSupportedTextureSize(width, height, 4));
    ps2detail::ChosenRoutines().swizzle4(width, height, in, out);
}

void UnswizzleImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                     std::uint8_t* out) {
    assert(IsSupportedTextureSize(width, height, 8));
    ps2detail::ChosenRoutines().unswizzle8(width, height, in, out);
}

void SwizzleImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out) {
    assert(IsSupportedTextureSize(width, height, 8));
    ps2detail::ChosenRoutines().swizzle8(width, height, in, out);
}

namespace {

// The stored pixels of the level being moved; it only grows, so a run of textures allocates it
// once for its largest level and never clears it (every byte is read or converted into first).
thread_local ScratchBuffer storedScratch;
// The linear pixels, for a bitmap whose rows are not packed end to end.
thread_local ScratchBuffer linearScratch;

} // namespace

// NOTE: the nibbles stay as the stored layout has them (left pixel low); a 4-bit Bitmap keeps the
// left pixel high, and the callers exchange them.
void TransferTexture(TransferDirection direction, FileStream& stream, Bitmap& bitmap) {
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    const bool fourBit = bitmap.Format() == pf4bit;
    assert(fourBit || bitmap.Format() == pf8bit);
    assert(IsSupportedTextureSize(width, height, fourBit ? 4 : 8));
    const auto rowBytes = static_cast<std::size_t>(fourBit ? width / 2 : width);
    const std::size_t total = rowBytes * static_cast<std::size_t>(height);
    // Rows of supported sizes are whole words, so the bitmap's rows are the linear layout itself.
    const bool packed = bitmap.RowBytes() == rowBytes;

    std::uint8_t* stored = storedScratch.Get(total);
    if (direction == ToBitmap) {
        stream.ReadExact(stored, total);
        std::uint8_t* linear = packed ? bitmap.ScanLine(0) : linearScratch.Get(total);
        (fourBit ? UnswizzleImage4 : UnswizzleImage8)(width, height, stored, linear);
        for (std::int32_t row = 0; !packed && row < height; ++row) {
            std::memcpy(bitmap.ScanLine(row), linear + static_cast<std::size_t>(row) * rowBytes,
                        rowBytes);
        }
    } else {
        const Bitmap& source = bitmap;
        const std::uint8_t* linear = source.ScanLine(0);
        if (!packed) {
            std::uint8_t* rows = linearScratch.Get(total);
            for (std::int32_t row = 0; row < height; ++row) {
                std::memcpy(rows + static_cast<std::size_t>(row) * rowBytes, source.ScanLine(row),
                            rowBytes);
            }
            linear = rows;
        }
        (fourBit ? SwizzleImage4 : SwizzleImage8)(width, height, linear, stored);
        stream.Write(stored, total);
    }
}

} // namespace eitool
