#include "images/ps2/Fast.h"

#ifdef EITOOL_PS2_X86

#include <immintrin.h>

// NOTE: every other header is included above, so that none of their inline functions is compiled
// with these instructions; the walk is included below, so that the kernels inline into it.
EITOOL_PS2_TARGET("avx2")
#include "images/ps2/Vector128.h"
#include "images/ps2/Walk.h"

namespace eitool::ps2detail {

namespace {

// ExchangeNibbles of Fast.h on 32 bytes at a time.
__m256i ExchangeNibbles(__m256i value) {
    const __m256i mask = _mm256_set1_epi64x(0x00000000F0F0F0F0);
    const __m256i delta =
        _mm256_and_si256(_mm256_xor_si256(_mm256_srli_epi64(value, 28), value), mask);
    return _mm256_xor_si256(_mm256_xor_si256(value, delta), _mm256_slli_epi64(delta, 28));
}

// A whole stored row of a column in one register: half A in the low lane, B in the high lane.
// One in-lane shuffle makes A' and B', and a blend with the lanes exchanged gives linear row v
// in the low lane and row v + 2 in the high lane.
template <bool fourBit> class Avx2Kernel {
public:
    explicit Avx2Kernel(std::size_t parity) {
        const RowShuffle& shuffle = RowShuffleOf(fourBit, parity);
        m_from = _mm256_setr_m128i(Load16(shuffle.fromA), Load16(shuffle.fromB));
        m_to = _mm256_setr_m128i(Load16(shuffle.toA), Load16(shuffle.toB));
        m_takeB = _mm256_broadcastsi128_si256(Load16(shuffle.takeB));
    }

    void UnswizzleRow(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        __m256i halves = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(stored));
        if constexpr (fourBit) {
            halves = ExchangeNibbles(halves);
        }
        halves = _mm256_shuffle_epi8(halves, m_from);
        const __m256i swapped = _mm256_permute4x64_epi64(halves, 0x4E);
        const __m256i rows = _mm256_blendv_epi8(halves, swapped, m_takeB);
        _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(row2), reinterpret_cast<__m128i*>(row0),
                             rows);
    }

    void SwizzleRow(const std::uint8_t* row0, const std::uint8_t* row2,
                    std::uint8_t* stored) const {
        const __m256i rows = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(row2),
                                                 reinterpret_cast<const __m128i*>(row0));
        const __m256i swapped = _mm256_permute4x64_epi64(rows, 0x4E);
        __m256i halves = _mm256_shuffle_epi8(_mm256_blendv_epi8(rows, swapped, m_takeB), m_to);
        if constexpr (fourBit) {
            halves = ExchangeNibbles(halves);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(stored), halves);
    }

private:
    __m256i m_from;
    __m256i m_to;
    __m256i m_takeB;
};

} // namespace

constinit const ImageRoutines kAvx2Routines =
    RoutinesOf<PairedRows<Avx2Kernel<true>>, PairedRows<Avx2Kernel<false>>>("avx2");

} // namespace eitool::ps2detail

EITOOL_PS2_TARGET_END

#endif
