#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace eitool {

// Little-endian writers, the counterpart of ByteReader for bytes this program builds itself.

inline void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}
inline void AppendU16le(std::vector<std::uint8_t>& out, std::uint16_t value) {
    AppendLe(out, value, 2);
}
inline void AppendU32le(std::vector<std::uint8_t>& out, std::uint32_t value) {
    AppendLe(out, value, 4);
}
inline void AppendU64le(std::vector<std::uint8_t>& out, std::uint64_t value) {
    AppendLe(out, value, 8);
}

// Stores over bytes that already exist; at + width must lie inside, width at most 8.
inline void StoreLe(std::span<std::uint8_t> out, std::size_t at, std::uint64_t value, int bytes) {
    assert(bytes >= 0 && bytes <= 8 && at + static_cast<std::size_t>(bytes) <= out.size());
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out.data() + at, &value, static_cast<std::size_t>(bytes));
    } else {
        for (int i = 0; i < bytes; ++i) {
            out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
}
inline void StoreU16le(std::span<std::uint8_t> out, std::size_t at, std::uint16_t value) {
    StoreLe(out, at, value, 2);
}
inline void StoreU32le(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
    StoreLe(out, at, value, 4);
}
inline void StoreF32le(std::span<std::uint8_t> out, std::size_t at, float value) {
    StoreLe(out, at, std::bit_cast<std::uint32_t>(value), 4);
}

} // namespace eitool
