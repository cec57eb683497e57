#pragma once

// Internal to the images library: the walk over a whole image that the fast conversions share.
// A file that compiles its kernels for particular instructions includes this after selecting
// them, so that the walk is compiled for the same instructions and the kernels inline into it.

#include <cstddef>
#include <cstdint>

namespace eitool::ps2detail {

// The walk over a whole image, shared by the implementations. Kernel(parity) converts one
// stored row of a column: Unswizzle(stored32, linearRow, linearRowPlus2) and
// Swizzle(linearRow, linearRowPlus2, stored32).
//
// 8-bit: stored block (bx, by) of the image lies at stored row 8 by, byte 32 bx, in stored rows
// of 2W bytes, whatever the page grid, because a block keeps its grid position in the stored
// page and pages tile both layouts alike. Stored row s of a block (column s / 2) feeds linear
// rows 4 (s / 2) + s mod 2 and the one two below.
template <typename Kernel, bool toStored>
void ConvertImage8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                   std::uint8_t* out) {
    const auto linearRowBytes = static_cast<std::size_t>(width);
    const std::size_t storedRowBytes = 2 * linearRowBytes;
    const auto blocksAcross = static_cast<std::size_t>(width / 16);
    const auto blocksDown = static_cast<std::size_t>(height / 16);
    for (std::size_t by = 0; by < blocksDown; ++by) {
        for (std::size_t s = 0; s < 8; ++s) {
            const Kernel kernel((s / 2) % 2);
            const std::size_t stored = (8 * by + s) * storedRowBytes;
            const std::size_t linear = (16 * by + 4 * (s / 2) + s % 2) * linearRowBytes;
            if constexpr (toStored) {
                const std::uint8_t* row0 = in + linear;
                const std::uint8_t* row2 = row0 + 2 * linearRowBytes;
                std::uint8_t* storedRow = out + stored;
                for (std::size_t bx = 0; bx < blocksAcross; ++bx) {
                    kernel.Swizzle(row0 + 16 * bx, row2 + 16 * bx, storedRow + 32 * bx);
                }
            } else {
                const std::uint8_t* storedRow = in + stored;
                std::uint8_t* row0 = out + linear;
                std::uint8_t* row2 = row0 + 2 * linearRowBytes;
                for (std::size_t bx = 0; bx < blocksAcross; ++bx) {
                    kernel.Unswizzle(storedRow + 32 * bx, row0 + 16 * bx, row2 + 16 * bx);
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

    for (std::size_t i = 0; i < pagesDown; ++i) {
        for (std::size_t by = 0; by < blocksDownPage; by += 2) {
            for (std::size_t s = 0; s < 8; ++s) {
                const Kernel kernel((s / 2) % 2);
                const std::size_t stored = (i * pageStoredRows + s) * storedRowBytes + 32 * by;
                const std::size_t linear =
                    ((8 * i + by) * 16 + 4 * (s / 2) + s % 2) * linearRowBytes;
                const std::size_t next = 16 * linearRowBytes;
                const std::size_t below = 2 * linearRowBytes;
                for (std::size_t j = 0; j < pagesAcross; ++j) {
                    for (std::size_t bx = 0; bx < blocksAcrossPage; ++bx) {
                        const std::size_t storedAt = stored + j * pageStoredBytes + bx * blockStride;
                        const std::size_t linearAt = linear + 16 * (j * blocksAcrossPage + bx);
                        if constexpr (toStored) {
                            kernel.Swizzle(in + linearAt, in + linearAt + below, out + storedAt);
                            kernel.Swizzle(in + linearAt + next, in + linearAt + next + below,
                                           out + storedAt + 32);
                        } else {
                            kernel.Unswizzle(in + storedAt, out + linearAt, out + linearAt + below);
                            kernel.Unswizzle(in + storedAt + 32, out + linearAt + next,
                                             out + linearAt + next + below);
                        }
                    }
                }
            }
        }
    }
}

} // namespace eitool::ps2detail
