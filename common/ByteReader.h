#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace eitool {

// Thrown when a read or seek would go past the end of the bytes. Handlers catch it and turn it
// into a results line or a CorruptFileError that names the file.
class OutOfBounds : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
    float F32le();
    std::span<const std::uint8_t> Bytes(std::uint64_t count);

    // A reader over [offset, offset + count) of the same bytes, positioned at its start.
    ByteReader Sub(std::uint64_t offset, std::uint64_t count) const;

private:
    void Need(std::uint64_t count) const;

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

} // namespace eitool
