#pragma once

// Internal to the images library and its tests: the fast whole-image conversions behind
// UnswizzleImage4/8 and SwizzleImage4/8.

#include "common/ByteReader.h"
#include "common/ByteWriter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The vector implementations exist on x86 with a compiler that compiles single functions for
// instructions the rest of the program does not use. A file of vector kernels compiles what lies
// between EITOOL_PS2_TARGET(features) and EITOOL_PS2_TARGET_END for those instructions.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define EITOOL_PS2_X86 1
#define EITOOL_PS2_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define EITOOL_PS2_TARGET(features)                                                                \
    EITOOL_PS2_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define EITOOL_PS2_TARGET_END EITOOL_PS2_PRAGMA(clang attribute pop)
#else
#define EITOOL_PS2_TARGET(features)                                                                \
    EITOOL_PS2_PRAGMA(GCC push_options) EITOOL_PS2_PRAGMA(GCC target(features))
#define EITOOL_PS2_TARGET_END EITOOL_PS2_PRAGMA(GCC pop_options)
#endif
#endif

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

inline const RowShuffle& RowShuffleOf(bool fourBit, std::size_t parity) {
    return (fourBit ? RowShuffles4() : RowShuffles8())[parity];
}

// A stored byte holds two pixels of different linear rows (low nibble row v, high nibble row
// v + 2), a linear byte two neighbours of one row, and the stored byte 4 further on holds their
// partners. So within every 8 stored bytes the high nibbles of bytes 0..3 are exchanged with the
// low nibbles of bytes 4..7; afterwards bytes 0..3 are bytes of linear row v and bytes 4..7 bytes
// of row v + 2, and the 4-bit conversion is a byte permutation like the 8-bit one. The exchange
// is its own inverse: a delta swap of the bits 28 apart in each group of 8 bytes read as a
// little-endian 64-bit number.
inline void ExchangeNibbles(std::uint8_t* bytes, std::size_t count) {
    const std::span<std::uint8_t> all(bytes, count);
    for (std::size_t at = 0; at < count; at += 8) {
        std::uint64_t lane = LoadLe(all, at, 8);
        const std::uint64_t delta = ((lane >> 28) ^ lane) & 0x00000000F0F0F0F0u;
        lane ^= delta ^ (delta << 28);
        StoreLe(all, at, lane, 8);
    }
}

// Without vector instructions: the same walk over the image, one stored row of a column at a
// time through the row shuffles. Runs anywhere.
ImageRoutines PortableRoutines();

// Every vector implementation that this processor runs, fastest first; none off x86.
std::vector<ImageRoutines> VectorRoutines();

#ifdef EITOOL_PS2_X86
// With SSSE3 byte shuffles and SSE4.1 blends, 16 bytes at a time; with their AVX2 forms, 32 at a
// time; with AVX-512 (F and BW), 64 at a time. Only for a processor that has the instructions.
extern const ImageRoutines kSse41Routines;
extern const ImageRoutines kAvx2Routines;
extern const ImageRoutines kAvx512Routines;
#endif

// The routines that UnswizzleImage4 and the others use: the best that this processor runs.
const ImageRoutines& ChosenRoutines();

} // namespace eitool::ps2detail
