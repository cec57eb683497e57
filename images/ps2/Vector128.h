#pragma once

// Internal to the images library: unaligned 128-bit loads and stores for the x86 kernels. Included
// after a kernel file has selected its instructions, like the walk, so that these compile and
// inline with them.

#include <cstdint>
#include <immintrin.h>

namespace eitool::ps2detail {

inline __m128i Load16(const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline void Store16(std::uint8_t* at, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}

} // namespace eitool::ps2detail
