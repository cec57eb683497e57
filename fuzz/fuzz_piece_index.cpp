// The index of a log's pieces. The input describes an index and what happens to its file: byte 0
// the number of entries (up to 32), then per entry 41 bytes (a byte naming its piece, device,
// file number, size, modification and change time, 8 bytes each, little-endian), then a byte of
// flags (bit 0: the file is cut to the length of the next two bytes), then pairs of a 2-byte
// offset and a byte that is xored into the file there. The index is written for a log, changed
// so, and read back: it must read without failing, and an index left as written must give every
// entry back. Every byte of the file can be reached, so the reader sees any header it may meet.
#include "FuzzSupport.h"
#include "common/FileSystem.h"
#include "run/PieceIndex.h"

#include <cstdlib>
#include <map>

namespace {

using namespace eitool;

std::uint64_t Le(const std::uint8_t* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kEntryBytes = 41;
    if (size < 1) {
        return 0;
    }
    const std::size_t count = std::min<std::size_t>(data[0], 32);
    if (size < 1 + count * kEntryBytes) {
        return 0;
    }
    const auto& work = fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string log = work.File("result.log");
    WriteWholeFile(log, {'#'});
    const FileIdentity identity = *IdentityOf(log);

    // The entries, each taken long after its times, so that none is racy.
    PieceIndex written;
    std::map<std::string, std::pair<FileSignature, std::uint32_t>> expected;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* at = data + 1 + i * kEntryBytes;
        const std::string piece = work.File("piece" + std::to_string(at[0]));
        FileSignature signature{Le(at + 1), Le(at + 9), Le(at + 17),
                                static_cast<std::int64_t>(Le(at + 25) >> 2),
                                static_cast<std::int64_t>(Le(at + 33) >> 2)};
        const auto crc = static_cast<std::uint32_t>(signature.number * 2654435761u);
        const std::int64_t takenAt = std::max(signature.modified, signature.changed) +
                                     PieceIndex::kRacyMargin + (std::int64_t{1} << 40);
        written.Record(piece, signature, crc, takenAt);
        expected[piece] = {signature, crc};
    }
    written.Save(log, identity, nullptr);

    // What happens to the file.
    std::vector<std::uint8_t> file = ReadWholeFile(PieceIndexPath(log));
    const std::vector<std::uint8_t> intact = file;
    std::size_t at = 1 + count * kEntryBytes;
    if (at < size && (data[at] & 1) != 0 && at + 2 < size) {
        file.resize(std::min<std::size_t>(file.size(), data[at + 1] | data[at + 2] << 8));
        at += 2;
    }
    for (++at; at + 2 < size; at += 3) {
        const std::size_t offset = data[at] | data[at + 1] << 8;
        if (offset < file.size()) {
            file[offset] ^= data[at + 2];
        }
    }
    WriteWholeFile(PieceIndexPath(log), file);

    const PieceIndex read = PieceIndex::Load(log, identity);
    if (file == intact) {
        for (const auto& [piece, entry] : expected) {
            if (read.Lookup(piece, entry.first) != entry.second) {
                std::abort();
            }
        }
    }
    return 0;
}
