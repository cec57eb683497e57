#pragma once

// The byte layout of a data pack, and the one reader and writer of its count and directory that
// extraction, insertion, the journal, `list` and `verify` share.
//
// Data pack (little-endian):
//   0        u32   entry count N (0: an empty pack)
//   4        16*N  directory: N entries in file order
//   anywhere       member data, each at the offset its entry gives
// Directory entry (16 bytes):
//   0  u32  offset of the member's first byte in the pack
//   4  u32  size in bytes (0: an empty member, which has no piece)
//   8  u32  not interpreted, never changed
//   12 u32  CRC-32 of the member's bytes (written by insertion only)
// The member of entry 2533 in file order is the names list: text up to its first NUL, one line
// per member in offset order.

#include "common/FileStream.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace eitool {

// One directory entry as stored.
struct DataPackEntry {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t third = 0;
    std::uint32_t crc = 0;
};

// The entry index of the names list.
inline constexpr std::uint32_t kNamesListEntry = 2533;

namespace datapack {

inline constexpr std::uint64_t kCountSize = 4;
inline constexpr std::uint64_t kDirectoryOffset = 4;
inline constexpr std::uint64_t kEntrySize = 16;

// N, read from the start of the pack (throws CorruptFileError for a file too short to hold it).
std::uint32_t ReadEntryCount(const FileStream& pack, std::uint64_t fileSize);

// Whether a directory of count entries lies inside a file of fileSize bytes.
bool DirectoryFits(std::uint32_t count, std::uint64_t fileSize);

// The directory as stored and as read.
struct Directory {
    std::vector<std::uint8_t> raw;      // the 16*N bytes as stored at offset 4
    std::vector<DataPackEntry> entries; // file order
};

// Reads the directory of count entries. One that runs past the end of the file is a
// CorruptFileError, raised before anything is allocated for it.
Directory ReadDirectory(const FileStream& pack, std::uint32_t count, std::uint64_t fileSize);

// Gives entry index a new size and CRC-32, in the entries and in the stored bytes alike.
void SetSizeAndCrc(Directory& directory, std::uint32_t index, std::uint32_t size,
                   std::uint32_t crc);

// Gives entry index a new offset, in the entries and in the stored bytes alike.
void SetOffset(Directory& directory, std::uint32_t index, std::uint32_t offset);

// Writes the stored bytes of a directory back at its place in the pack.
void WriteDirectory(FileStream& pack, std::span<const std::uint8_t> raw);

// The entry indices in offset order: order[k] is the entry at position k (the order the names
// list's lines and the pieces' indices follow).
std::vector<std::uint32_t> OffsetOrder(const std::vector<DataPackEntry>& entries);

} // namespace datapack
} // namespace eitool
