#include "formats/DataPackLayout.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/RunError.h"
#include "formats/ExchangeSort.h"

#include <array>

namespace eitool::datapack {

std::uint32_t ReadEntryCount(const FileStream& pack, std::uint64_t fileSize) {
    if (!RangeFits(0, kCountSize, fileSize)) {
        throw CorruptFileError(pack.Path(), "the file (" + std::to_string(fileSize) +
                                                " bytes) is too short to hold an entry count");
    }
    std::array<std::uint8_t, kCountSize> bytes{};
    pack.ReadAt(0, bytes);
    return ByteReader(bytes).U32le();
}

bool DirectoryFits(std::uint32_t count, std::uint64_t fileSize) {
    return RangeFits(kDirectoryOffset, kEntrySize * count, fileSize);
}

Directory ReadDirectory(const FileStream& pack, std::uint32_t count, std::uint64_t fileSize) {
    if (!DirectoryFits(count, fileSize)) {
        throw CorruptFileError(pack.Path(), "a directory of " + std::to_string(count) +
                                                " entries runs past the end of the file (" +
                                                std::to_string(fileSize) + " bytes)");
    }
    Directory directory;
    directory.raw.resize(static_cast<std::size_t>(kEntrySize * count));
    pack.ReadAt(kDirectoryOffset, directory.raw);
    ByteReader reader(directory.raw);
    directory.entries.resize(count);
    for (DataPackEntry& entry : directory.entries) {
        entry.offset = reader.U32le();
        entry.size = reader.U32le();
        entry.third = reader.U32le();
        entry.crc = reader.U32le();
    }
    return directory;
}

void SetSizeAndCrc(Directory& directory, std::uint32_t index, std::uint32_t size,
                   std::uint32_t crc) {
    DataPackEntry& entry = directory.entries[index];
    entry.size = size;
    entry.crc = crc;
    const std::size_t at = static_cast<std::size_t>(kEntrySize) * index;
    StoreU32le(directory.raw, at + 4, size);
    StoreU32le(directory.raw, at + 12, crc);
}

void SetOffset(Directory& directory, std::uint32_t index, std::uint32_t offset) {
    directory.entries[index].offset = offset;
    StoreU32le(directory.raw, static_cast<std::size_t>(kEntrySize) * index, offset);
}

void WriteDirectory(FileStream& pack, std::span<const std::uint8_t> raw) {
    pack.WriteAt(kDirectoryOffset, raw);
}

std::vector<std::uint32_t> OffsetOrder(const std::vector<DataPackEntry>& entries) {
    std::vector<std::uint32_t> offsets;
    offsets.reserve(entries.size());
    for (const DataPackEntry& entry : entries) {
        offsets.push_back(entry.offset);
    }
    return ExchangeSortOrder(offsets);
}

} // namespace eitool::datapack
