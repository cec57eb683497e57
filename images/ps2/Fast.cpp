#include "images/ps2/Fast.h"

#include "images/Ps2util.h"
#include "images/ps2/Walk.h"

#include <array>
#include <cassert>
#include <cstring>

namespace eitool::ps2detail {

namespace {

// For one column parity: the stored byte (0..31 of a stored row of the column) that each byte
// of linear rows v and v + 2 (0..15 each) comes from.
struct RowSources {
    std::uint8_t byte[2][16];
};

RowShuffle MakeRowShuffle(const RowSources& sources) {
    RowShuffle shuffle{};
    bool filledA[16] = {};
    bool filledB[16] = {};
    for (std::size_t x = 0; x < 16; ++x) {
        for (std::size_t row = 0; row < 2; ++row) {
            const std::uint8_t from = sources.byte[row][x];
            const bool fromB = from >= 16;
            // Row 0 and row 1 take complementary halves at each x, so the shuffled half A' (or
            // B') holds row 0's byte at x when row 0 takes it, and row 1's byte otherwise.
            if (row == 0) {
                shuffle.takeB[x] = fromB ? 0xFF : 0x00;
            } else {
                assert(fromB != (shuffle.takeB[x] != 0));
            }
            std::uint8_t* permutation = fromB ? shuffle.fromB : shuffle.fromA;
            bool* filled = fromB ? filledB : filledA;
            permutation[x] = static_cast<std::uint8_t>(from % 16);
            assert(!filled[x]);
            filled[x] = true;
        }
    }
    for (std::uint8_t x = 0; x < 16; ++x) {
        shuffle.toA[shuffle.fromA[x]] = x;
        shuffle.toB[shuffle.fromB[x]] = x;
    }
    return shuffle;
}

std::array<RowShuffle, 2> MakeRowShuffles8() {
    std::array<RowShuffle, 2> shuffles{};
    for (std::size_t parity = 0; parity < 2; ++parity) {
        RowSources sources{};
        for (std::uint8_t t = 0; t < 32; ++t) {
            const std::uint8_t linear = ColumnTable8[parity * 64 + t];
            // The second stored row of the column feeds the rows one below.
            assert(ColumnTable8[parity * 64 + 32 + t] == linear + 16);
            assert(linear / 16 == 0 || linear / 16 == 2);
            sources.byte[linear / 32][linear % 16] = t;
        }
        shuffles[parity] = MakeRowShuffle(sources);
    }
    return shuffles;
}

std::array<RowShuffle, 2> MakeRowShuffles4() {
    std::array<RowShuffle, 2> shuffles{};
    for (std::size_t parity = 0; parity < 2; ++parity) {
        const std::uint8_t* table = ColumnTable4.data() + parity * 128;
        RowSources sources{};
        for (std::uint8_t t = 0; t < 32; ++t) {
            // After the exchange, byte t of an even word pairs the low nibbles of stored bytes t
            // and t + 4, byte t of an odd word the high nibbles of bytes t - 4 and t.
            const bool oddWord = (t / 4) % 2 != 0;
            const std::size_t first = oddWord ? t - 4u : t;
            const std::size_t nibble = oddWord ? 1 : 0;
            const std::uint8_t left = table[2 * first + nibble];
            [[maybe_unused]] const std::uint8_t right = table[2 * (first + 4) + nibble];
            assert(left % 2 == 0 && right == left + 1);
            assert(table[64 + 2 * first + nibble] == left + 32);
            const std::size_t row = left / 32;
            assert(row == 2 * nibble);
            sources.byte[row / 2][(left % 32) / 2] = t;
        }
        shuffles[parity] = MakeRowShuffle(sources);
    }
    return shuffles;
}

// Byte by byte through the stored index of each linear byte of the two rows.
template <bool fourBit> class PortableKernel {
public:
    explicit PortableKernel(std::size_t parity) {
        const RowShuffle& shuffle = RowShuffleOf(fourBit, parity);
        for (std::size_t x = 0; x < 16; ++x) {
            const auto a = shuffle.fromA[x];
            const auto b = static_cast<std::uint8_t>(16 + shuffle.fromB[x]);
            m_source[x] = shuffle.takeB[x] != 0 ? b : a;
            m_source[16 + x] = shuffle.takeB[x] != 0 ? a : b;
        }
    }

    void UnswizzleRow(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        std::uint8_t bytes[32];
        const std::uint8_t* from = stored;
        if constexpr (fourBit) {
            std::memcpy(bytes, stored, 32);
            ExchangeNibbles(bytes, 32);
            from = bytes;
        }
        for (std::size_t x = 0; x < 16; ++x) {
            row0[x] = from[m_source[x]];
            row2[x] = from[m_source[16 + x]];
        }
    }

    void SwizzleRow(const std::uint8_t* row0, const std::uint8_t* row2,
                    std::uint8_t* stored) const {
        std::uint8_t bytes[32];
        std::uint8_t* to = fourBit ? bytes : stored;
        for (std::size_t x = 0; x < 16; ++x) {
            to[m_source[x]] = row0[x];
            to[m_source[16 + x]] = row2[x];
        }
        if constexpr (fourBit) {
            ExchangeNibbles(bytes, 32);
            std::memcpy(stored, bytes, 32);
        }
    }

private:
    std::uint8_t m_source[32];
};

ImageRoutines Choose() {
    const std::vector<ImageRoutines> vector = VectorRoutines();
    return vector.empty() ? PortableRoutines() : vector.front();
}

} // namespace

const RowShuffle* RowShuffles4() {
    static const std::array<RowShuffle, 2> shuffles = MakeRowShuffles4();
    return shuffles.data();
}

const RowShuffle* RowShuffles8() {
    static const std::array<RowShuffle, 2> shuffles = MakeRowShuffles8();
    return shuffles.data();
}

ImageRoutines PortableRoutines() {
    return RoutinesOf<PairedRows<PortableKernel<true>>, PairedRows<PortableKernel<false>>>(
        "portable");
}

std::vector<ImageRoutines> VectorRoutines() {
    std::vector<ImageRoutines> routines;
#ifdef EITOOL_PS2_X86
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
        routines.push_back(kAvx512Routines);
    }
    if (__builtin_cpu_supports("avx2")) {
        routines.push_back(kAvx2Routines);
    }
    if (__builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1")) {
        routines.push_back(kSse41Routines);
    }
#endif
    return routines;
}

const ImageRoutines& ChosenRoutines() {
    static const ImageRoutines routines = Choose();
    return routines;
}

} // namespace eitool::ps2detail
