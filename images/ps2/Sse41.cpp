#include "images/ps2/Fast.h"

#ifdef EITOOL_PS2_X86

#include <immintrin.h>

// NOTE: every other header is included above, so that none of their inline functions is compiled
// with these instructions; the walk is included below, so that the kernels inline into it.
EITOOL_PS2_TARGET("ssse3,sse4.1")
#include "images/ps2/Vector128.h"
#include "images/ps2/Walk.h"

namespace eitool::ps2detail {

namespace {

// ExchangeNibbles of Fast.h on 16 bytes at a time.
__m128i ExchangeNibbles(__m128i value) {
    const __m128i mask = _mm_set1_epi64x(0x00000000F0F0F0F0);
    const __m128i delta = _mm_and_si128(_mm_xor_si128(_mm_srli_epi64(value, 28), value), mask);
    return _mm_xor_si128(_mm_xor_si128(value, delta), _mm_slli_epi64(delta, 28));
}

template <bool fourBit> class Sse41Kernel {
public:
    explicit Sse41Kernel(std::size_t parity) {
        const RowShuffle& shuffle = RowShuffleOf(fourBit, parity);
        m_fromA = Load16(shuffle.fromA);
        m_fromB = Load16(shuffle.fromB);
        m_toA = Load16(shuffle.toA);
        m_toB = Load16(shuffle.toB);
        m_takeB = Load16(shuffle.takeB);
    }

    void UnswizzleRow(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        __m128i a = Load16(stored);
        __m128i b = Load16(stored + 16);
        if constexpr (fourBit) {
            a = ExchangeNibbles(a);
            b = ExchangeNibbles(b);
        }
        a = _mm_shuffle_epi8(a, m_fromA);
        b = _mm_shuffle_epi8(b, m_fromB);
        Store16(row0, _mm_blendv_epi8(a, b, m_takeB));
        Store16(row2, _mm_blendv_epi8(b, a, m_takeB));
    }

    void SwizzleRow(const std::uint8_t* row0, const std::uint8_t* row2,
                    std::uint8_t* stored) const {
        const __m128i first = Load16(row0);
        const __m128i second = Load16(row2);
        __m128i a = _mm_shuffle_epi8(_mm_blendv_epi8(first, second, m_takeB), m_toA);
        __m128i b = _mm_shuffle_epi8(_mm_blendv_epi8(second, first, m_takeB), m_toB);
        if constexpr (fourBit) {
            a = ExchangeNibbles(a);
            b = ExchangeNibbles(b);
        }
        Store16(stored, a);
        Store16(stored + 16, b);
    }

private:
    __m128i m_fromA;
    __m128i m_fromB;
    __m128i m_toA;
    __m128i m_toB;
    __m128i m_takeB;
};

} // namespace

constinit const ImageRoutines kSse41Routines =
    RoutinesOf<PairedRows<Sse41Kernel<true>>, PairedRows<Sse41Kernel<false>>>("sse4.1");

} // namespace eitool::ps2detail

EITOOL_PS2_TARGET_END

#endif
