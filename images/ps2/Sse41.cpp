#include "images/ps2/Fast.h"

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define EITOOL_PS2_SSE41 1
#endif

#ifdef EITOOL_PS2_SSE41

#include <immintrin.h>

// Everything below is compiled for SSSE3 and SSE4.1 and runs only after Sse41Available().
// NOTE: every other header is included above, so that none of their inline functions is compiled
// with these instructions; the walk is included below, so that the kernels inline into it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3,sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("ssse3,sse4.1")
#endif
#include "images/ps2/Walk.h"

namespace eitool::ps2detail {

namespace {

__m128i Load(const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

void Store(std::uint8_t* at, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}

// ExchangeNibbles on 16 bytes: a delta swap of the bits 28 apart in each 64-bit lane, which are
// the high nibbles of bytes 0..3 and the low nibbles of bytes 4..7.
__m128i ExchangeNibbles(__m128i value) {
    const __m128i mask = _mm_set1_epi64x(0x00000000F0F0F0F0);
    const __m128i delta = _mm_and_si128(_mm_xor_si128(_mm_srli_epi64(value, 28), value), mask);
    return _mm_xor_si128(_mm_xor_si128(value, delta), _mm_slli_epi64(delta, 28));
}

template <bool fourBit> class Sse41Kernel {
public:
    explicit Sse41Kernel(std::size_t parity) {
        const RowShuffle& shuffle = (fourBit ? RowShuffles4() : RowShuffles8())[parity];
        m_fromA = Load(shuffle.fromA);
        m_fromB = Load(shuffle.fromB);
        m_toA = Load(shuffle.toA);
        m_toB = Load(shuffle.toB);
        m_takeB = Load(shuffle.takeB);
    }

    void UnswizzleRow(const std::uint8_t* stored, std::uint8_t* row0, std::uint8_t* row2) const {
        __m128i a = Load(stored);
        __m128i b = Load(stored + 16);
        if constexpr (fourBit) {
            a = ExchangeNibbles(a);
            b = ExchangeNibbles(b);
        }
        a = _mm_shuffle_epi8(a, m_fromA);
        b = _mm_shuffle_epi8(b, m_fromB);
        Store(row0, _mm_blendv_epi8(a, b, m_takeB));
        Store(row2, _mm_blendv_epi8(b, a, m_takeB));
    }

    void SwizzleRow(const std::uint8_t* row0, const std::uint8_t* row2,
                    std::uint8_t* stored) const {
        const __m128i first = Load(row0);
        const __m128i second = Load(row2);
        __m128i a = _mm_shuffle_epi8(_mm_blendv_epi8(first, second, m_takeB), m_toA);
        __m128i b = _mm_shuffle_epi8(_mm_blendv_epi8(second, first, m_takeB), m_toB);
        if constexpr (fourBit) {
            a = ExchangeNibbles(a);
            b = ExchangeNibbles(b);
        }
        Store(stored, a);
        Store(stored + 16, b);
    }

private:
    __m128i m_fromA;
    __m128i m_fromB;
    __m128i m_toA;
    __m128i m_toB;
    __m128i m_takeB;
};

void Unswizzle4(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                std::uint8_t* out) {
    ConvertImage4<PairedRows<Sse41Kernel<true>>, false>(width, height, in, out);
}
void Swizzle4(std::int32_t width, std::int32_t height, const std::uint8_t* in, std::uint8_t* out) {
    ConvertImage4<PairedRows<Sse41Kernel<true>>, true>(width, height, in, out);
}
void Unswizzle8(std::int32_t width, std::int32_t height, const std::uint8_t* in,
                std::uint8_t* out) {
    ConvertImage8<PairedRows<Sse41Kernel<false>>, false>(width, height, in, out);
}
void Swizzle8(std::int32_t width, std::int32_t height, const std::uint8_t* in, std::uint8_t* out) {
    ConvertImage8<PairedRows<Sse41Kernel<false>>, true>(width, height, in, out);
}

} // namespace

} // namespace eitool::ps2detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace eitool::ps2detail {

bool Sse41Available() {
    return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1");
}

ImageRoutines Sse41Routines() {
    return {Unswizzle4, Swizzle4, Unswizzle8, Swizzle8, "sse4.1"};
}

} // namespace eitool::ps2detail

#else

namespace eitool::ps2detail {

bool Sse41Available() {
    return false;
}

ImageRoutines Sse41Routines() {
    return PortableRoutines();
}

} // namespace eitool::ps2detail

#endif
