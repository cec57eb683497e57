#include "common/ByteReader.h"

#include <algorithm>
#include <bit>

namespace eitool {

std::string_view TextBeforeNul(std::span<const std::uint8_t> bytes) {
    const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::size_t>(nul - bytes.begin())};
}

void ByteReader::Need(std::uint64_t count) const {
    if (!RangeFits(m_pos, count, m_bytes.size())) {
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

std::uint64_t ByteReader::Le(int width) {
    Need(static_cast<std::uint64_t>(width));
    const std::uint64_t value = LoadLe(m_bytes, m_pos, width);
    m_pos += static_cast<std::size_t>(width);
    return value;
}

std::uint8_t ByteReader::U8() {
    return static_cast<std::uint8_t>(Le(1));
}

std::uint16_t ByteReader::U16le() {
    return static_cast<std::uint16_t>(Le(2));
}

std::uint32_t ByteReader::U32le() {
    return static_cast<std::uint32_t>(Le(4));
}

std::uint64_t ByteReader::U64le() {
    return Le(8);
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

std::string ByteReader::NulTerminated(std::uint64_t limit) {
    const std::size_t window =
        static_cast<std::size_t>(std::min<std::uint64_t>(limit, Remaining()));
    const std::string_view text = TextBeforeNul(m_bytes.subspan(m_pos, window));
    if (text.size() == window) {
        throw OutOfBounds("no NUL ends the text of " + std::to_string(window) +
                          " bytes at offset " + std::to_string(m_pos));
    }
    m_pos += text.size() + 1;
    return std::string(text);
}

ByteReader ByteReader::Sub(std::uint64_t offset, std::uint64_t count) const {
    if (!RangeFits(offset, count, m_bytes.size())) {
        throw OutOfBounds("range of " + std::to_string(count) + " bytes at offset " +
                          std::to_string(offset) + " runs past the end (" +
                          std::to_string(m_bytes.size()) + " bytes)");
    }
    return ByteReader(
        m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count)));
}

} // namespace eitool
