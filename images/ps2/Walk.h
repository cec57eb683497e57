#pragma once

// Internal to the images library: the walk over a whole image that the fast conversions share.
// A file that compiles its kernels for particular instructions includes this after selecting
// them, so that the walk is compiled for the same instructions and the kernels inline into it.

#include "images/ps2/Fast.h"

#include <cstddef>
#include <cstdint>

namespace eitool::ps2detail {

// The walk hands the kernel 64 stored bytes at a time: one stored row of a column in two
// neighbouring blocks. Kernel(parity) serves one column parity (0 for columns 0 and 2):
//   4-bit: Unswizzle4(stored64, a0, a2, b0, b2) and Swizzle4(a0, a2, b0, b2, stored64), where the
//          first 32 bytes feed rows v and v + 2 of block A (16 bytes each, at a0 and a2) and the
//          next 32 the same rows of block B, the block below A;
//   8-bit: Unswizzle8(stored64, row0, row2) and Swizzle8(row0, row2, stored64), where the blocks
//          are side by side and rows v and v + 2 are 32 bytes each.
//
// A kernel that converts one stored row of a column (32 bytes) with UnswizzleRow(stored32,
// row0, row2) and SwizzleRow(row0, row2, stored32) gets the 64-byte forms from this.
template <typename RowKernel> class PairedRows : public RowKernel {
public:
    using RowKernel::RowKernel;

    void Unswizzle4(const std::uint8_t* stored, std::uint8_t* a0, std::uint8_t* a2,
                    std::uint8_t* b0, std::uint8_t* b2) const {
        this->UnswizzleRow(stored, a0, a2);
        this->UnswizzleRow(stored + 32, b0, b2);
    }
    void Swizzle4(const std::uint8_t* a0, const std::uint8_t* a2, const std::uint8_t* b0,
                  const std::uint8_t* b2, std::uint8_t* stored) const {
        this->SwizzleRow(a0, a2, stored);
        this->SwizzleRow(b0, b2, stored + 32);
    }
    void Unswizzle8(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        this->UnswizzleRow(stored, row0, row2);
        this->UnswizzleRow(stored + 32, row0 + 16, row2 + 16);
    }
    void Swizzle8(const std::uint8_t* row0, const std::uint8_t* row2, std::uint8_t* stored) const {
        this->SwizzleRow(row0, row2, stored);
        this->SwizzleRow(row0 + 16, row2 + 16, stored + 32);
    }
};

// 8-bit: stored block (bx, by) of the image lies at stored row 8 by, byte 32 bx, in stored rows
// of 2W bytes, whatever the page grid, because a block keeps its grid position in the stored
// page and pages tile both layouts alike. Stored row s of a block (column s / 2) feeds linear
// rows 4 (s / 2) + s mod 2 and the one two below. Each stored row is read from left to right
// while two linear rows are written from left to right.
template <typename Kernel, bool toStored>
void ConvertImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out) {
    const auto linearRowBytes = static_cast<std::size_t>(width);
    const std::size_t storedRowBytes = 2 * linearRowBytes;
    const auto blockPairsAcross = static_cast<std::size_t>(width / 32);
    const auto blocksDown = static_cast<std::size_t>(height / 16);
    const Kernel kernels[2] = {Kernel(0), Kernel(1)};
    for (std::size_t by = 0; by < blocksDown; ++by) {
        for (std::size_t s = 0; s < 8; ++s) {
            const Kernel& kernel = kernels[(s / 2) % 2];
            const std::size_t stored = (8 * by + s) * storedRowBytes;
            const std::size_t linear = (16 * by + 4 * (s / 2) + s % 2) * linearRowBytes;
            const std::size_t below = 2 * linearRowBytes;
            for (std::size_t pair = 0; pair < blockPairsAcross; ++pair) {
                const std::size_t storedAt = stored + 64 * pair;
                const std::size_t linearAt = linear + 32 * pair;
                if constexpr (toStored) {
                    kernel.Swizzle8(in + linearAt, in + linearAt + below, out + storedAt);
                } else {
                    kernel.Unswizzle8(in + storedAt, out + linearAt, out + linearAt + below);
                }
            }
        }
    }
}

// 4-bit: in a page (4 x 8 blocks of 32 x 16 pixels) the block at grid column bx, row by is
// stored at stored grid column by, row bx: the block numbering transposes the grid. A page's
// stored rectangle is 2 min(H, 128) bytes wide and min(W, 128) / 4 rows high. The walk takes the
// stored rows of two neighbouring block rows (by, by + 1) together, so that every stored cache
// line is read once, whole, and four linear rows are written from left to right.
template <typename Kernel, bool toStored>
void ConvertImage4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out) {
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const std::size_t linearRowBytes = w / 2;
    const std::size_t pagesAcross = w > 128 ? w / 128 : 1;
    const std::size_t pagesDown = h > 128 ? h / 128 : 1;
    const std::size_t pageStoredBytes = 2 * (h > 128 ? 128 : h);
    const std::size_t pageStoredRows = (w > 128 ? 128 : w) / 4;
    const std::size_t storedRowBytes = pagesAcross * pageStoredBytes;
    const std::size_t blocksAcrossPage = (w > 128 ? 128 : w) / 32;
    const std::size_t blocksDownPage = (h > 128 ? 128 : h) / 16;
    const std::size_t blockStride = 8 * storedRowBytes;
    const std::size_t below = 2 * linearRowBytes;
    const std::size_t next = 16 * linearRowBytes;
    const Kernel kernels[2] = {Kernel(0), Kernel(1)};

    for (std::size_t i = 0; i < pagesDown; ++i) {
        for (std::size_t by = 0; by < blocksDownPage; by += 2) {
            for (std::size_t s = 0; s < 8; ++s) {
                const Kernel& kernel = kernels[(s / 2) % 2];
                const std::size_t stored = (i * pageStoredRows + s) * storedRowBytes + 32 * by;
                const std::size_t linear =
                    ((8 * i + by) * 16 + 4 * (s / 2) + s % 2) * linearRowBytes;
                for (std::size_t j = 0; j < pagesAcross; ++j) {
                    for (std::size_t bx = 0; bx < blocksAcrossPage; ++bx) {
                        const std::size_t storedAt =
                            stored + j * pageStoredBytes + bx * blockStride;
                        const std::size_t a = linear + 16 * (j * blocksAcrossPage + bx);
                        if constexpr (toStored) {
                            kernel.Swizzle4(in + a, in + a + below, in + a + next,
                                            in + a + next + below, out + storedAt);
                        } else {
                            kernel.Unswizzle4(in + storedAt, out + a, out + a + below,
                                              out + a + next, out + a + next + below);
                        }
                    }
                }
            }
        }
    }
}

// The four whole-image routines of one implementation: the walks over Kernel4 (4-bit) and
// Kernel8 (8-bit). Evaluated at compile time, so that only the walks are compiled, for the
// instructions of the file that instantiates them.
template <typename Kernel4, typename Kernel8> consteval ImageRoutines RoutinesOf(const char* name) {
    return {ConvertImage4<Kernel4, false>, ConvertImage4<Kernel4, true>,
            ConvertImage8<Kernel8, false>, ConvertImage8<Kernel8, true>, name};
}

} // namespace eitool::ps2detail
