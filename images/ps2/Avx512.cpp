#include "images/ps2/Fast.h"

#ifdef EITOOL_PS2_X86

#include <immintrin.h>

// NOTE: every other header is included above, so that none of their inline functions is compiled
// with these instructions; the walk is included below, so that the kernels inline into it.
EITOOL_PS2_TARGET("avx512f,avx512bw")
#include "images/ps2/Vector128.h"
#include "images/ps2/Walk.h"

namespace eitool::ps2detail {

namespace {

// ExchangeNibbles of Fast.h on 64 bytes at a time; ternary logic 0x28 is (a ^ b) & c, and
// 0x96 is a ^ b ^ c.
__m512i ExchangeNibbles(__m512i value) {
    const __m512i mask = _mm512_set1_epi64(0x00000000F0F0F0F0);
    const __m512i delta =
        _mm512_ternarylogic_epi64(_mm512_srli_epi64(value, 28), value, mask, 0x28);
    return _mm512_ternarylogic_epi64(value, delta, _mm512_slli_epi64(delta, 28), 0x96);
}

// Four 128-bit lanes hold the halves A and B of two stored rows of a column, as 64 stored bytes
// lie: A1 B1 A2 B2. One in-lane shuffle makes A' and B' of both, and a blend with the halves
// exchanged gives rows v and v + 2 of both blocks.
template <bool fourBit> class Avx512Kernel {
public:
    explicit Avx512Kernel(std::size_t parity) {
        const RowShuffle& shuffle = RowShuffleOf(fourBit, parity);
        const __m512i fromA = _mm512_broadcast_i32x4(Load16(shuffle.fromA));
        const __m512i fromB = _mm512_broadcast_i32x4(Load16(shuffle.fromB));
        const __m512i toA = _mm512_broadcast_i32x4(Load16(shuffle.toA));
        const __m512i toB = _mm512_broadcast_i32x4(Load16(shuffle.toB));
        // Lanes 0 and 2 are halves A, lanes 1 and 3 halves B.
        const __mmask16 laneB = 0xF0F0;
        m_from = _mm512_mask_blend_epi32(laneB, fromA, fromB);
        m_to = _mm512_mask_blend_epi32(laneB, toA, toB);
        m_takeB = _mm512_movepi8_mask(_mm512_broadcast_i32x4(Load16(shuffle.takeB)));
    }

    // 4-bit: lanes become rows v and v + 2 of block A, then of block B.
    void Unswizzle4(const std::uint8_t* stored, std::uint8_t* a0, std::uint8_t* a2,
                    std::uint8_t* b0, std::uint8_t* b2) const {
        const __m512i halves = _mm512_shuffle_epi8(ExchangeNibbles(LoadAll(stored)), m_from);
        const __m512i rows =
            _mm512_mask_blend_epi8(m_takeB, halves, _mm512_permutex_epi64(halves, 0x4E));
        Store16(a0, _mm512_castsi512_si128(rows));
        Store16(a2, _mm512_extracti32x4_epi32(rows, 1));
        Store16(b0, _mm512_extracti32x4_epi32(rows, 2));
        Store16(b2, _mm512_extracti32x4_epi32(rows, 3));
    }

    void Swizzle4(const std::uint8_t* a0, const std::uint8_t* a2, const std::uint8_t* b0,
                  const std::uint8_t* b2, std::uint8_t* stored) const {
        __m512i rows = _mm512_castsi128_si512(Load16(a0));
        rows = _mm512_inserti32x4(rows, Load16(a2), 1);
        rows = _mm512_inserti32x4(rows, Load16(b0), 2);
        rows = _mm512_inserti32x4(rows, Load16(b2), 3);
        const __m512i halves =
            _mm512_mask_blend_epi8(m_takeB, rows, _mm512_permutex_epi64(rows, 0x4E));
        StoreAll(stored, ExchangeNibbles(_mm512_shuffle_epi8(halves, m_to)));
    }

    // 8-bit: the lanes are regrouped as A1' A2' B1' B2' and B1' B2' A1' A2', so that one blend
    // gives 32 bytes of row v (both blocks) and then 32 bytes of row v + 2.
    void Unswizzle8(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        const __m512i halves = _mm512_shuffle_epi8(LoadAll(stored), m_from);
        const __m512i first = _mm512_shuffle_i64x2(halves, halves, 0xD8);
        const __m512i second = _mm512_shuffle_i64x2(halves, halves, 0x8D);
        const __m512i rows = _mm512_mask_blend_epi8(m_takeB, first, second);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row0), _mm512_castsi512_si256(rows));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row2), _mm512_extracti64x4_epi64(rows, 1));
    }

    void Swizzle8(const std::uint8_t* row0, const std::uint8_t* row2, std::uint8_t* stored) const {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row0));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row2));
        const __m512i rows = _mm512_inserti64x4(_mm512_castsi256_si512(first), second, 1);
        const __m512i grouped =
            _mm512_mask_blend_epi8(m_takeB, rows, _mm512_shuffle_i64x2(rows, rows, 0x4E));
        const __m512i halves = _mm512_shuffle_i64x2(grouped, grouped, 0xD8);
        StoreAll(stored, _mm512_shuffle_epi8(halves, m_to));
    }

private:
    static __m512i LoadAll(const std::uint8_t* at) { return _mm512_loadu_si512(at); }
    static void StoreAll(std::uint8_t* at, __m512i value) { _mm512_storeu_si512(at, value); }

    __m512i m_from;
    __m512i m_to;
    __mmask64 m_takeB;
};

} // namespace

constinit const ImageRoutines kAvx512Routines =
    RoutinesOf<Avx512Kernel<true>, Avx512Kernel<false>>("avx512");

} // namespace eitool::ps2detail

EITOOL_PS2_TARGET_END

#endif
