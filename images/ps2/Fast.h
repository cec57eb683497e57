#pragma once

// Internal to the images library and its tests: the fast whole-image conversions behind
// UnswizzleImage4/8 and SwizzleImage4/8.

#include <cstddef>
#include <cstdint>

namespace eitool::ps2detail {

using ImageRoutine = void (*)(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                              std::uint8_t* out);

struct ImageRoutines {
    ImageRoutine unswizzle4 = nullptr;
    ImageRoutine swizzle4 = nullptr;
    ImageRoutine unswizzle8 = nullptr;
    ImageRoutine swizzle8 = nullptr;
    const char* name = "";
};

// One stored row of a block column (32 bytes, two halves A and B of 16) feeds two rows of the
// linear column, rows v and v + 2, 16 bytes each; the correspondence is the same for both stored
// rows of the column and depends only on whether the column is odd. For 4-bit textures it holds
// after the nibble exchange of ExchangeNibbles. Linear row 0 byte x comes from B[fromB[x]] where
// takeB[x] is 0xFF, else from A[fromA[x]]; linear row 1 takes the other half at each x. toA and
// toB are the inverse permutations.
struct RowShuffle {
    std::uint8_t fromA[16];
    std::uint8_t fromB[16];
    std::uint8_t toA[16];
    std::uint8_t toB[16];
    std::uint8_t takeB[16];
};

// Indexed by column parity (0 for columns 0 and 2), derived from ColumnTable4 and ColumnTable8.
const RowShuffle* RowShuffles4();
const RowShuffle* RowShuffles8();

// A stored byte holds two pixels of different linear rows (low nibble row v, high nibble row
// v + 2), a linear byte two neighbours of one row, and the stored byte 4 further on holds their
// partners. So within every 8 stored bytes the high nibbles of bytes 0..3 are exchanged with the
// low nibbles of bytes 4..7; afterwards bytes 0..3 are bytes of linear row v and bytes 4..7 bytes
// of row v + 2, and the 4-bit conversion is a byte permutation like the 8-bit one. The exchange
// is its own inverse: a delta swap of the bits 28 apart in each group of 8 bytes read as a
// little-endian 64-bit number.
inline void ExchangeNibbles(std::uint8_t* bytes, std::size_t count) {
    for (std::uint8_t* b = bytes; b < bytes + count; b += 8) {
        std::uint64_t lane = std::uint64_t{b[0]} | std::uint64_t{b[1]} << 8 |
                             std::uint64_t{b[2]} << 16 | std::uint64_t{b[3]} << 24 |
                             std::uint64_t{b[4]} << 32 | std::uint64_t{b[5]} << 40 |
                             std::uint64_t{b[6]} << 48 | std::uint64_t{b[7]} << 56;
        const std::uint64_t delta = ((lane >> 28) ^ lane) & 0x00000000F0F0F0F0u;
        lane ^= delta ^ (delta << 28);
        b[0] = static_cast<std::uint8_t>(lane);
        b[1] = static_cast<std::uint8_t>(lane >> 8);
        b[2] = static_cast<std::uint8_t>(lane >> 16);
        b[3] = static_cast<std::uint8_t>(lane >> 24);
        b[4] = static_cast<std::uint8_t>(lane >> 32);
        b[5] = static_cast<std::uint8_t>(lane >> 40);
        b[6] = static_cast<std::uint8_t>(lane >> 48);
        b[7] = static_cast<std::uint8_t>(lane >> 56);
    }
}

// Without vector instructions: the same walk over the image, one stored row of a column at a
// time through the row shuffles. Runs anywhere.
ImageRoutines PortableRoutines();

// With SSSE3 byte shuffles and SSE4.1 blends, 16 bytes at a time; and with their AVX2 forms,
// 32 at a time. The Available functions tell whether this processor has the instructions (always
// false off x86).
bool Sse41Available();
ImageRoutines Sse41Routines();
bool Avx2Available();
ImageRoutines Avx2Routines();
// With AVX-512 (F and BW), 64 bytes at a time.
bool Avx512Available();
ImageRoutines Avx512Routines();

// The routines that UnswizzleImage4 and the others use: the best that this processor runs.
const ImageRoutines& ChosenRoutines();

} // namespace eitool::ps2detail
