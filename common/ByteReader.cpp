#include "common/ByteReader.h"

#include <bit>
#include <cstring>

namespace eitool {

void ByteReader::Need(std::uint64_t count) const {
    if (count > Remaining()) {
        throw OutOfBounds("read of " + std::to_string(count) + " bytes at offset " +
                          std::to_string(m_pos) + " runs past the end (" +
                          std::to_string(m_bytes.size()) + " bytes)");
    }
}

void ByteReader::Seek(std::uint64_t position) {
    if (position > m_bytes.size()) {
        throw OutOfBounds("seek to offset " + std::to_string(position) + " past the end (" +
                          std::to_string(m_bytes.size()) + " bytes)");
    }
    m_pos = static_cast<std::size_t>(position);
}

void ByteReader::Skip(std::uint64_t count) {
    Need(count);
    m_pos += static_cast<std::size_t>(count);
}

std::uint8_t ByteReader::U8() {
    Need(1);
    return m_bytes[m_pos++];
}

std::uint16_t ByteReader::U16le() {
    Need(2);
    const auto* p = m_bytes.data() + m_pos;
    m_pos += 2;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ByteReader::U32le() {
    Need(4);
    const auto* p = m_bytes.data() + m_pos;
    m_pos += 4;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

float ByteReader::F32le() {
    return std::bit_cast<float>(U32le());
}

std::span<const std::uint8_t> ByteReader::Bytes(std::uint64_t count) {
    Need(count);
    auto result = m_bytes.subspan(m_pos, static_cast<std::size_t>(count));
    m_pos += static_cast<std::size_t>(count);
    return result;
}

ByteReader ByteReader::Sub(std::uint64_t offset, std::uint64_t count) const {
    if (offset > m_bytes.size() || count > m_bytes.size() - offset) {
        throw OutOfBounds("range of " + std::to_string(count) + " bytes at offset " +
                          std::to_string(offset) + " runs past the end (" +
                          std::to_string(m_bytes.size()) + " bytes)");
    }
    return ByteReader(m_bytes.subspan(static_cast<std::size_t>(offset),
                                      static_cast<std::size_t>(count)));
}

} // namespace eitool
