#include "formats/Crc32.h"
// (being written)
namespace eitool {
std::uint32_t Crc32Update(std::uint32_t, std::span<const std::uint8_t>) { return 0; }
std::uint32_t Crc32OfStream(FileStream&) { return 0; }
std::uint32_t Crc32Reference(std::span<const std::uint8_t>) { return 0; }
} // namespace eitool
