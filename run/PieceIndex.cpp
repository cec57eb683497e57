#include "run/PieceIndex.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/PendingFile.h"
#include "common/RunError.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace eitool {

namespace {

// The index file, all integers little-endian:
//   magic "eitoolIX", u32 version, u32 entry size (56), u64 device and u64 file number of the
//   log, u64 entry count, u32 length of the log's path, the path's bytes;
//   the entries in ascending order of key, each: u64 key, u64 device, u64 file number, u64 size,
//   i64 modification time, i64 change time (nanoseconds since 1970), u32 CRC-32, u32 zero;
//   u64 checksum (Hasher) of every byte before it.
constexpr std::array<std::uint8_t, 8> kMagic = {'e', 'i', 't', 'o', 'o', 'l', 'I', 'X'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kFixedHeaderSize = 8 + 4 + 4 + 8 + 8 + 8 + 4;
constexpr std::size_t kEntrySize = 56;
constexpr std::size_t kChecksumSize = 8;
// The entries are read and written this many at a time.
constexpr std::size_t kEntriesPerBlock = 4096;

// A 64-bit hash of a byte stream, eight bytes at a time: for the keys of paths and the checksum
// of the file, which only has to see damage, not withstand an attacker.
class Hasher {
public:
    void Add(std::span<const std::uint8_t> bytes) {
        std::size_t i = 0;
        for (; m_filled == 0 && i + 8 <= bytes.size(); i += 8) {
            m_word = LoadLe(bytes, i, 8);
            Mix();
        }
        for (const std::uint8_t byte : bytes.subspan(i)) {
            m_word |= std::uint64_t{byte} << (8 * m_filled);
            if (++m_filled == 8) {
                Mix();
            }
        }
    }
    std::uint64_t Value() {
        m_word |= std::uint64_t{m_filled} << 56;
        Mix();
        std::uint64_t h = m_state ^ m_length;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return h;
    }

private:
    void Mix() {
        m_state = (m_state ^ m_word) * 0x9e3779b97f4a7c15ULL;
        m_state ^= m_state >> 29;
        m_length += 8;
        m_word = 0;
        m_filled = 0;
    }

    std::uint64_t m_state = 0xcbf29ce484222325ULL;
    std::uint64_t m_length = 0;
    std::uint64_t m_word = 0;
    unsigned m_filled = 0;
};

void StoreEntry(std::span<std::uint8_t> out, const PieceIndex::Entry& entry) {
    const FileSignature& s = entry.signature;
    StoreLe(out, 0, entry.key, 8);
    StoreLe(out, 8, s.device, 8);
    StoreLe(out, 16, s.number, 8);
    StoreLe(out, 24, s.size, 8);
    StoreLe(out, 32, static_cast<std::uint64_t>(s.modified), 8);
    StoreLe(out, 40, static_cast<std::uint64_t>(s.changed), 8);
    StoreLe(out, 48, entry.crc, 4);
    StoreLe(out, 52, 0, 4);
}

PieceIndex::Entry LoadEntry(std::span<const std::uint8_t> in) {
    PieceIndex::Entry entry;
    entry.key = LoadLe(in, 0, 8);
    entry.signature = {LoadLe(in, 8, 8), LoadLe(in, 16, 8), LoadLe(in, 24, 8),
                       static_cast<std::int64_t>(LoadLe(in, 32, 8)),
                       static_cast<std::int64_t>(LoadLe(in, 40, 8))};
    entry.crc = static_cast<std::uint32_t>(LoadLe(in, 48, 4));
    return entry;
}

std::vector<std::uint8_t> Header(const std::string& logPath, const FileIdentity& log,
                                 std::uint64_t count) {
    std::vector<std::uint8_t> header(kMagic.begin(), kMagic.end());
    AppendU32le(header, kVersion);
    AppendU32le(header, kEntrySize);
    AppendU64le(header, log.device);
    AppendU64le(header, log.number);
    AppendU64le(header, count);
    AppendU32le(header, static_cast<std::uint32_t>(logPath.size()));
    header.insert(header.end(), logPath.begin(), logPath.end());
    return header;
}

// The entries of the index file, or none when it is not the index of this log or is damaged.
std::optional<std::vector<PieceIndex::Entry>>
ReadEntries(FileStream& file, const std::string& logPath, const FileIdentity& log) {
    const std::uint64_t size = file.SizeAtOpen();
    std::array<std::uint8_t, kFixedHeaderSize> fixed{};
    if (size < kFixedHeaderSize + kChecksumSize ||
        file.Read(fixed.data(), fixed.size()) != fixed.size()) {
        return std::nullopt;
    }
    ByteReader reader(fixed);
    const std::span<const std::uint8_t> magic = reader.Bytes(kMagic.size());
    const std::uint32_t version = reader.U32le();
    const std::uint32_t entrySize = reader.U32le();
    const std::uint64_t device = reader.U64le();
    const std::uint64_t number = reader.U64le();
    const std::uint64_t count = reader.U64le();
    const std::uint32_t pathLength = reader.U32le();
    // The count must account for the file's length exactly before anything is allocated.
    if (!std::equal(magic.begin(), magic.end(), kMagic.begin()) || version != kVersion ||
        entrySize != kEntrySize || device != log.device || number != log.number ||
        pathLength != logPath.size() || pathLength > size - kFixedHeaderSize - kChecksumSize ||
        count > (size - kFixedHeaderSize - kChecksumSize - pathLength) / kEntrySize ||
        size != kFixedHeaderSize + pathLength + count * kEntrySize + kChecksumSize) {
        return std::nullopt;
    }
    Hasher hasher;
    hasher.Add(fixed);
    std::string path(pathLength, '\0');
    file.ReadExact(path.data(), path.size());
    if (path != logPath) {
        return std::nullopt;
    }
    hasher.Add(std::span(reinterpret_cast<const std::uint8_t*>(path.data()), path.size()));
    std::vector<PieceIndex::Entry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    const auto block =
        std::make_unique_for_overwrite<std::uint8_t[]>(kEntriesPerBlock * kEntrySize);
    for (std::uint64_t done = 0; done < count;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, kEntriesPerBlock));
        const std::span<const std::uint8_t> bytes(block.get(), n * kEntrySize);
        file.ReadExact(block.get(), bytes.size());
        hasher.Add(bytes);
        for (std::size_t i = 0; i < n; ++i) {
            entries.push_back(LoadEntry(bytes.subspan(i * kEntrySize, kEntrySize)));
            if (entries.size() > 1 && entries[entries.size() - 2].key >= entries.back().key) {
                return std::nullopt;
            }
        }
        done += n;
    }
    std::array<std::uint8_t, kChecksumSize> checksum{};
    file.ReadExact(checksum.data(), checksum.size());
    if (LoadLe(checksum, 0, 8) != hasher.Value()) {
        return std::nullopt;
    }
    return entries;
}

} // namespace

std::string PieceIndexPath(const std::string& logPath) {
    return logPath + ".eitool-index";
}

std::uint64_t PieceIndex::KeyOf(std::string_view path) {
    Hasher hasher;
    hasher.Add(std::span(reinterpret_cast<const std::uint8_t*>(path.data()), path.size()));
    return hasher.Value();
}

PieceIndex PieceIndex::Load(const std::string& logPath, const FileIdentity& log,
                            std::int64_t racyMargin) {
    PieceIndex index(racyMargin);
    try {
        std::optional<FileStream> file = FileStream::OpenExisting(PieceIndexPath(logPath), omRead);
        if (file) {
            if (std::optional<std::vector<Entry>> entries = ReadEntries(*file, logPath, log)) {
                index.m_loaded = std::move(*entries);
            }
        }
    } catch (const RunError&) {
        // An index that cannot be read is no index: every piece is read.
    }
    return index;
}

const PieceIndex::Entry* PieceIndex::Find(std::string_view path) const {
    const std::uint64_t key = KeyOf(path);
    const auto at = std::lower_bound(m_loaded.begin(), m_loaded.end(), key,
                                     [](const Entry& e, std::uint64_t k) { return e.key < k; });
    return at != m_loaded.end() && at->key == key ? &*at : nullptr;
}

bool PieceIndex::Holds(std::string_view path) const {
    return Find(path) != nullptr;
}

std::optional<std::uint32_t> PieceIndex::Lookup(std::string_view path,
                                                const FileSignature& signature) const {
    const Entry* entry = Find(path);
    if (entry == nullptr || !(entry->signature == signature)) {
        return std::nullopt;
    }
    return entry->crc;
}

bool PieceIndex::HasNews() const {
    return std::any_of(m_recorded.begin(), m_recorded.end(), [&](const Recording& r) {
        const FileSignature& s = r.entry.signature;
        const auto held =
            std::lower_bound(m_loaded.begin(), m_loaded.end(), r.entry.key,
                             [](const Entry& e, std::uint64_t k) { return e.key < k; });
        const bool known = held != m_loaded.end() && held->key == r.entry.key &&
                           held->signature == s && held->crc == r.entry.crc;
        return !known && std::max(s.modified, s.changed) + m_racyMargin < r.takenAt;
    });
}

void PieceIndex::Record(std::string_view path, const FileSignature& signature, std::uint32_t crc,
                        std::int64_t takenAt) {
    m_recorded.push_back({{KeyOf(path), signature, crc}, takenAt});
}

void PieceIndex::Save(const std::string& logPath, const FileIdentity& log, WriteHook* hook) const {
    const std::string target = PieceIndexPath(logPath);
    PendingFile pending(target, hook);
    FileStream& file = pending.Create();
    // How far the file system's clock runs behind this machine's: the new file's time is its
    // clock now.
    const std::int64_t behind =
        std::max<std::int64_t>(0, FileClockNow() - file.Signature().modified);

    // The latest recording of a key replaces the entry loaded for it; a racy one leaves none.
    std::vector<const Recording*> latest;
    latest.reserve(m_recorded.size());
    for (auto r = m_recorded.rbegin(); r != m_recorded.rend(); ++r) {
        latest.push_back(&*r);
    }
    std::stable_sort(latest.begin(), latest.end(), [](const Recording* a, const Recording* b) {
        return a->entry.key < b->entry.key;
    });
    latest.erase(std::unique(latest.begin(), latest.end(),
                             [](const Recording* a, const Recording* b) {
                                 return a->entry.key == b->entry.key;
                             }),
                 latest.end());
    std::vector<Entry> merged;
    merged.reserve(latest.size() + m_loaded.size());
    auto loaded = m_loaded.begin();
    for (const Recording* r : latest) {
        for (; loaded != m_loaded.end() && loaded->key < r->entry.key; ++loaded) {
            merged.push_back(*loaded);
        }
        if (loaded != m_loaded.end() && loaded->key == r->entry.key) {
            ++loaded;
        }
        const FileSignature& s = r->entry.signature;
        if (std::max(s.modified, s.changed) + m_racyMargin + behind < r->takenAt) {
            merged.push_back(r->entry);
        }
    }
    merged.insert(merged.end(), loaded, m_loaded.end());

    Hasher hasher;
    const auto write = [&](std::span<const std::uint8_t> bytes) {
        hasher.Add(bytes);
        file.Write(bytes.data(), bytes.size());
    };
    write(Header(logPath, log, merged.size()));
    std::vector<std::uint8_t> block(kEntriesPerBlock * kEntrySize);
    std::size_t filled = 0;
    for (const Entry& entry : merged) {
        StoreEntry(std::span(block).subspan(filled * kEntrySize, kEntrySize), entry);
        if (++filled == kEntriesPerBlock) {
            write(block);
            filled = 0;
        }
    }
    write(std::span(block).first(filled * kEntrySize));
    std::vector<std::uint8_t> checksum;
    AppendU64le(checksum, hasher.Value());
    file.Write(checksum.data(), checksum.size());
    // No sync: the index is a cache, and one cut short by a power failure fails its length or
    // its checksum and is ignored.
    pending.CommitWithoutSync();
}

} // namespace eitool
