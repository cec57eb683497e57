#include "formats/DataPackContents.h"

#include "common/ByteReader.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPackLayout.h"
#include "run/HandlerSupport.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <thread>

namespace eitool {

namespace {

// Reads of the member check: aligned in the file and in memory alike, since copies from the page
// cache between differently aligned addresses run at a fraction of the speed. Four blocks of
// 1 MiB ahead of the CRC keep the reader busy with few hand-overs (measured: 4 x 256 KiB reads at
// 0.8 of the speed of cat, 4 x 1 MiB at its speed).
constexpr std::size_t kCheckBlock = std::size_t{1} << 20;
constexpr std::size_t kCheckAlignment = 4096;

struct AlignedFree {
    void operator()(std::uint8_t* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kCheckAlignment});
    }
};
using AlignedBlock = std::unique_ptr<std::uint8_t[], AlignedFree>;

AlignedBlock NewBlock() {
    return AlignedBlock(static_cast<std::uint8_t*>(
        ::operator new[](kCheckBlock, std::align_val_t{kCheckAlignment})));
}

// Reads a range of a file front to back, block by block, on a thread of its own, so that the CRC
// of one block runs while the next ones are read. It reads at offsets (FileStream::ReadAt), so the
// caller may read the same file meanwhile. A read that fails is thrown again by the Next that
// would have returned its block.
class BlockStream {
public:
    struct Block {
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        const std::uint8_t* bytes = nullptr;
    };

    BlockStream(const FileStream& file, std::uint64_t start, std::uint64_t end)
        : m_file(file), m_start(start), m_end(end) {
        for (AlignedBlock& slot : m_slots) {
            slot = NewBlock();
        }
        m_reader = std::thread([this] { Read(); });
    }
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;
    ~BlockStream() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
        m_reader.join();
    }

    // The next block of the range; the one returned before is given back. Nothing at the end.
    std::optional<Block> Next() {
        std::unique_lock lock(m_mutex);
        if (m_holding) {
            m_holding = false;
            ++m_taken;
            m_changed.notify_all();
        }
        m_changed.wait(lock, [this] { return m_filled > m_taken || m_done; });
        if (m_filled == m_taken) {
            if (m_failure) {
                std::rethrow_exception(m_failure);
            }
            return std::nullopt;
        }
        m_holding = true;
        const std::uint64_t start = m_start + m_taken * kCheckBlock;
        return Block{start, std::min<std::uint64_t>(start + kCheckBlock, m_end),
                     m_slots[m_taken % kSlots].get()};
    }

private:
    static constexpr std::size_t kSlots = 4;

    void Read() {
        try {
            for (std::uint64_t n = 0;; ++n) {
                const std::uint64_t start = m_start + n * kCheckBlock;
                if (start >= m_end) {
                    break;
                }
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return m_stopped || n - m_taken < kSlots; });
                    if (m_stopped) {
                        return;
                    }
                }
                m_file.ReadAt(start, std::span(m_slots[n % kSlots].get(),
                                               static_cast<std::size_t>(std::min<std::uint64_t>(
                                                   kCheckBlock, m_end - start))));
                {
                    const std::lock_guard lock(m_mutex);
                    m_filled = n + 1;
                }
                m_changed.notify_all();
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
        }
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
    }

    const FileStream& m_file;
    const std::uint64_t m_start;
    const std::uint64_t m_end;
    std::array<AlignedBlock, kSlots> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_filled = 0; // blocks read
    std::uint64_t m_taken = 0;  // blocks given back by the reader of the stream
    bool m_holding = false;     // the block m_taken is out
    bool m_done = false;
    bool m_stopped = false;
    std::exception_ptr m_failure;
    std::thread m_reader;
};

bool InsideFile(const DataPackEntry& entry, std::uint64_t fileSize) {
    return RangeFits(entry.offset, entry.size, fileSize);
}

} // namespace

DataPackContents ReadDataPackContents(FileStream& pack) {
    DataPackContents contents;
    contents.fileSize = pack.Size();
    const std::uint32_t count = datapack::ReadEntryCount(pack, contents.fileSize);
    contents.entries = datapack::ReadDirectory(pack, count, contents.fileSize).entries;
    contents.order = datapack::OffsetOrder(contents.entries);
    if (count > kNamesListEntry &&
        InsideFile(contents.entries[kNamesListEntry], contents.fileSize)) {
        const DataPackEntry& names = contents.entries[kNamesListEntry];
        std::vector<std::uint8_t> bytes(names.size);
        pack.ReadAt(names.offset, bytes);
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

// Members come in offset order, so the pack is read front to back once, whatever the members'
// sizes, by a stream of blocks from the first member to the end of the last. A member that starts
// before the block in hand (members overlap) ends the stream, and the rest is read block by block
// as it comes.
std::vector<MemberCheck> CheckMembers(FileStream& pack, const DataPackContents& contents) {
    std::vector<MemberCheck> checks(contents.order.size());
    std::uint64_t first = contents.fileSize;
    std::uint64_t last = 0;
    for (const DataPackEntry& entry : contents.entries) {
        if (entry.size != 0 && InsideFile(entry, contents.fileSize)) {
            first = std::min<std::uint64_t>(first, entry.offset);
            last = std::max<std::uint64_t>(last, std::uint64_t{entry.offset} + entry.size);
        }
    }
    std::unique_ptr<BlockStream> stream;
    if (first < last) {
        stream = std::make_unique<BlockStream>(pack, first - first % kCheckAlignment, last);
    }
    const AlignedBlock own = NewBlock();
    BlockStream::Block block;
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
            if (at < block.start && stream) {
                stream.reset(); // the pack is not read front to back after all
            }
            while (stream && at >= block.end) {
                const std::optional<BlockStream::Block> next = stream->Next();
                if (!next) {
                    stream.reset();
                    break;
                }
                block = *next;
            }
            if (at < block.start || at >= block.end) {
                block.start = at - at % kCheckAlignment;
                block.end = std::min<std::uint64_t>(block.start + kCheckBlock, contents.fileSize);
                pack.ReadAt(block.start, std::span(own.get(), static_cast<std::size_t>(
                                                                  block.end - block.start)));
                block.bytes = own.get();
            }
            const std::uint64_t stop = std::min(end, block.end);
            crc = Crc32Update(crc, std::span(block.bytes + (at - block.start),
                                             static_cast<std::size_t>(stop - at)));
            at = stop;
        }
        check.crc = crc;
        check.state = crc == entry.crc ? MemberCrc::Ok : MemberCrc::Bad;
    }
    return checks;
}

} // namespace eitool
