#pragma once

#include "common/FileStream.h"

#include <cstdint>
#include <span>

namespace eitool {

// The reflected CRC-32 of ISO 3309 / ITU-T V.42 (zlib, PNG): polynomial 0xEDB88320, initial
// value and final xor 0xFFFFFFFF.

// Continues a CRC over more bytes: Crc32Update(Crc32Update(0, a), b) == CRC of a then b.
std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::uint8_t> bytes);

// The CRC of a then b from the CRC of a, the CRC of b and b's length alone.
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t lengthB);

// The CRC of the whole stream, first byte to last, read in blocks of 65536 bytes; the stream's
// position is left where it was.
std::uint32_t Crc32OfStream(FileStream& stream);

// The plain byte-at-a-time version over the 256-entry table, kept as the reference.
std::uint32_t Crc32Reference(std::span<const std::uint8_t> bytes);

} // namespace eitool
