#include "formats/DataPackContents.h"

#include "common/ByteReader.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPackJournal.h"
#include "formats/ExchangeSort.h"
#include "run/HandlerSupport.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <memory>
#include <new>
#include <span>

namespace eitool {

namespace {

using datapack::kDirectoryOffset;
using datapack::kEntrySize;

// Reads of the member check: small enough that the block is still in the core's cache when the
// CRC runs over it, and aligned in the file and in memory alike, since copies from the page cache
// between differently aligned addresses run at a fraction of the speed.
constexpr std::size_t kCheckBlock = std::size_t{256} << 10;
constexpr std::size_t kCheckAlignment = 4096;

struct AlignedFree {
    void operator()(std::uint8_t* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kCheckAlignment});
    }
};

bool InsideFile(const DataPackEntry& entry, std::uint64_t fileSize) {
    return RangeFits(entry.offset, entry.size, fileSize);
}

} // namespace

DataPackContents ReadDataPackContents(FileStream& pack) {
    DataPackContents contents;
    contents.fileSize = pack.Size();
    const std::uint32_t count = datapack::ReadEntryCount(pack, contents.fileSize);
    if (!RangeFits(kDirectoryOffset, kEntrySize * count, contents.fileSize)) {
        throw CorruptFileError(pack.Path(), "a directory of " + std::to_string(count) +
                                                " entries runs past the end of the file (" +
                                                std::to_string(contents.fileSize) + " bytes)");
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(kEntrySize * count));
    pack.Seek(kDirectoryOffset);
    pack.ReadExact(raw.data(), raw.size());
    ByteReader reader(raw);
    contents.entries.resize(count);
    std::vector<std::uint32_t> offsets(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        DataPackEntry& entry = contents.entries[i];
        entry.offset = reader.U32le();
        entry.size = reader.U32le();
        entry.third = reader.U32le();
        entry.crc = reader.U32le();
        offsets[i] = entry.offset;
    }
    contents.order = ExchangeSortOrder(offsets);
    if (count > kNamesListEntry &&
        InsideFile(contents.entries[kNamesListEntry], contents.fileSize)) {
        const DataPackEntry& names = contents.entries[kNamesListEntry];
        std::vector<std::uint8_t> bytes(names.size);
        pack.Seek(names.offset);
        pack.ReadExact(bytes.data(), bytes.size());
        contents.names.emplace(std::move(bytes), count);
    }
    return contents;
}

std::string MemberName(const DataPackContents& contents, std::uint32_t k) {
    if (!contents.names || k >= contents.names->size()) {
        return {};
    }
    return GameNamePart((*contents.names)[k]);
}

namespace {

// RelativePieceName of a name already reduced to its file-name part.
std::string RelativeNameOf(const std::string& name, std::uint32_t k, int digits) {
    const std::string extension = ExtensionPart(name);
    const std::string folder = extension.empty() ? std::string() : UpperAscii(extension.substr(1));
    return folder + kPathSeparator + HexIndex(k, digits) + "_" + name;
}

} // namespace

std::string RelativePieceName(std::string_view namesLine, std::uint32_t k, int digits) {
    return RelativeNameOf(GameNamePart(namesLine), k, digits);
}

std::string MemberPiecePath(const RunState& state, const std::string& packPath,
                            const DataPackContents& contents, std::uint32_t k,
                            const std::string& name) {
    const DataPackEntry& entry = contents.entries[contents.order[k]];
    if (entry.size == 0 || !contents.names || k >= contents.names->size()) {
        return {};
    }
    const auto count = static_cast<std::uint32_t>(contents.entries.size());
    try {
        return PiecePathOf(state, packPath, RelativeNameOf(name, k, IndexDigits(count)));
    } catch (const UnsafePathError&) {
        return {};
    }
}

std::vector<std::uint64_t> FreeAfterMembers(const std::vector<DataPackEntry>& entries,
                                            const std::vector<std::uint32_t>& order,
                                            std::uint64_t fileSize) {
    std::vector<std::uint64_t> freeAfter(order.size());
    std::uint64_t next = fileSize; // the offset of the next non-empty member
    for (std::size_t k = order.size(); k-- > 0;) {
        const DataPackEntry& entry = entries[order[k]];
        const std::uint64_t end = std::uint64_t{entry.offset} + entry.size;
        freeAfter[k] = next > end ? next - end : 0;
        if (entry.size != 0) {
            next = entry.offset;
        }
    }
    return freeAfter;
}

const char* CrcStateName(MemberCrc state) {
    switch (state) {
    case MemberCrc::Ok:
        return "ok";
    case MemberCrc::Empty:
        return "empty";
    case MemberCrc::Bad:
    case MemberCrc::Outside:
        break;
    }
    return "bad";
}

bool MembersWithinCheckLimit(const DataPackContents& contents) {
    std::uint64_t total = 0;
    for (const DataPackEntry& entry : contents.entries) {
        if (InsideFile(entry, contents.fileSize)) {
            total += entry.size;
        }
    }
    return total <= OutputLimit(contents.fileSize);
}

// Members come in offset order, so the block read for one member usually holds the start of the
// next: the pack is read front to back once, whatever the members' sizes.
std::vector<MemberCheck> CheckMembers(FileStream& pack, const DataPackContents& contents) {
    std::vector<MemberCheck> checks(contents.order.size());
    const std::unique_ptr<std::uint8_t[], AlignedFree> block(static_cast<std::uint8_t*>(
        ::operator new[](kCheckBlock, std::align_val_t{kCheckAlignment})));
    std::uint64_t blockStart = 0;
    std::uint64_t blockEnd = 0;
    for (std::size_t k = 0; k < contents.order.size(); ++k) {
        const DataPackEntry& entry = contents.entries[contents.order[k]];
        MemberCheck& check = checks[k];
        if (entry.size == 0) {
            check.state = MemberCrc::Empty;
            continue;
        }
        if (!InsideFile(entry, contents.fileSize)) {
            check.state = MemberCrc::Outside;
            continue;
        }
        std::uint64_t at = entry.offset;
        const std::uint64_t end = at + entry.size;
        std::uint32_t crc = 0;
        while (at < end) {
            if (at < blockStart || at >= blockEnd) {
                blockStart = at - at % kCheckAlignment;
                const auto length = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kCheckBlock, contents.fileSize - blockStart));
                pack.Seek(blockStart);
                pack.ReadExact(block.get(), length);
                blockEnd = blockStart + length;
            }
            const std::uint64_t stop = std::min(end, blockEnd);
            crc = Crc32Update(crc, std::span(block.get() + (at - blockStart),
                                             static_cast<std::size_t>(stop - at)));
            at = stop;
        }
        check.crc = crc;
        check.state = crc == entry.crc ? MemberCrc::Ok : MemberCrc::Bad;
    }
    return checks;
}

} // namespace eitool
