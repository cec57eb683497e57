#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace eitool {

// Thrown when a read or seek would go past the end of the bytes. Handlers catch it and turn it
// into a results line or a CorruptFileError that names the file.
class OutOfBounds : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether length bytes from offset lie inside size bytes. Every size or offset taken from a file
// is checked with this before it is used; the sum is never formed, so nothing overflows.
constexpr bool RangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// The bytes before the first NUL, or all of them when there is none.
std::string_view TextBeforeNul(std::span<const std::uint8_t> bytes);

// Bounds-checked little-endian reader over a span of bytes. Every read either succeeds fully or
// throws OutOfBounds and leaves the position unchanged.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t Size() const { return m_bytes.size(); }
    std::size_t Position() const { return m_pos; }
    std::size_t Remaining() const { return m_bytes.size() - m_pos; }
    bool CanRead(std::uint64_t count) const { return count <= Remaining(); }

    void Seek(std::uint64_t position);
    void Skip(std::uint64_t count);

    std::uint8_t U8();
    std::uint16_t U16le();
    std::uint32_t U32le();
    std::uint64_t U64le();
    float F32le();
    std::span<const std::uint8_t> Bytes(std::uint64_t count);
    // The text up to the first NUL among the next limit bytes (or the rest, when fewer remain);
    // the NUL is consumed. Throws OutOfBounds when none of those bytes is a NUL.
    std::string NulTerminated(std::uint64_t limit);

    // A reader over [offset, offset + count) of the same bytes, positioned at its start.
    ByteReader Sub(std::uint64_t offset, std::uint64_t count) const;

private:
    void Need(std::uint64_t count) const;
    std::uint64_t Le(int width);

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// Little-endian values of bytes this program holds itself (pixels of a bitmap, buffers it
// built), the counterpart of StoreLe; at + width must lie inside, width at most 8. File bytes go
// through a ByteReader.
inline std::uint64_t LoadLe(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
    assert(width >= 0 && width <= 8 && at + static_cast<std::size_t>(width) <= bytes.size());
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, bytes.data() + at, static_cast<std::size_t>(width));
    } else {
        for (int i = width; i-- > 0;) {
            value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
        }
    }
    return value;
}
inline std::uint16_t LoadU16le(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(LoadLe(bytes, at, 2));
}
inline std::uint32_t LoadU32le(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(LoadLe(bytes, at, 4));
}

} // namespace eitool
