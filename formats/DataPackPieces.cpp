#include "formats/DataPackPieces.h"

#include "common/RunError.h"
#include "formats/Crc32.h"

#include <string>

namespace eitool::datapack {

FileStream OpenPieceForWriting(const std::string& path, std::uint64_t length) {
    FileStream file = FileStream::Open(path, omRead);
    if (file.SizeAtOpen() != length) {
        throw FileReadError(path, "the piece changed its length during the insertion");
    }
    return file;
}

bool PiecesHoldSameBytes(const std::string& a, const std::string& b, std::uint64_t length) {
    if (a == b) {
        return true;
    }
    std::optional<FileStream> first = FileStream::OpenExisting(a, omRead);
    std::optional<FileStream> second = FileStream::OpenExisting(b, omRead);
    if (!first || !second || first->SizeAtOpen() != length || second->SizeAtOpen() != length) {
        return false;
    }
    constexpr std::size_t kBlock = std::size_t{64} << 10;
    const auto blocks = std::make_unique_for_overwrite<std::uint8_t[]>(2 * kBlock);
    for (std::uint64_t left = length; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlock));
        if (first->Read(blocks.get(), want) != want ||
            second->Read(blocks.get() + kBlock, want) != want ||
            !std::equal(blocks.get(), blocks.get() + want, blocks.get() + kBlock)) {
            return false;
        }
        left -= want;
    }
    return true;
}

PieceLooks::PieceLooks(Mode mode, std::vector<PieceToLook> pieces, std::uint64_t keptBudget,
                       const PieceIndex* index)
    : m_mode(mode), m_pieces(std::move(pieces)), m_keptBudget(keptBudget), m_index(index),
      m_chunkCount((m_pieces.size() + kChunk - 1) / kChunk),
      m_chunks(std::min(mode == Mode::Sums ? kSumsChunks : kBytesChunks, m_chunkCount)) {
    const std::size_t workers = mode == Mode::Sums ? kSumsWorkers : kBytesWorkers;
    for (std::size_t i = 0; i < std::min(workers, m_chunkCount); ++i) {
        m_threads.emplace_back([this] { Work(); });
    }
}

PieceLooks::~PieceLooks() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_released.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

PieceLook& PieceLooks::Take(std::size_t k) {
    const std::size_t c = k / kChunk;
    Chunk& chunk = m_chunks[c % m_chunks.size()];
    if (k % kChunk == 0) {
        std::unique_lock lock(m_mutex);
        if (c > m_releasedUpTo) {
            m_releasedUpTo = c;
            m_released.notify_all();
        }
        m_chunkDone.wait(lock, [&] { return chunk.done == c + 1; });
    }
    PieceLook& look = chunk.looks[k % kChunk];
    if (look.error) {
        std::rethrow_exception(look.error);
    }
    return look;
}

// Takes the next chunk whose place in the window is free, looks at its pieces and hands it on.
void PieceLooks::Work() {
    std::unique_ptr<std::uint8_t[]> scratch;
    if (m_mode == Mode::Sums) {
        scratch = std::make_unique_for_overwrite<std::uint8_t[]>(kSumsKeptLimit);
    }
    for (;;) {
        std::size_t c = 0;
        {
            std::unique_lock lock(m_mutex);
            m_released.wait(lock, [&] {
                return m_stopped || m_next >= m_chunkCount ||
                       m_next < m_releasedUpTo + m_chunks.size();
            });
            if (m_stopped || m_next >= m_chunkCount) {
                return;
            }
            c = m_next++;
        }
        Chunk& chunk = m_chunks[c % m_chunks.size()];
        for (std::size_t k = c * kChunk; k < End(c); ++k) {
            PieceLook& look = chunk.looks[k % kChunk];
            look = PieceLook{};
            try {
                LookAt(m_pieces[k], look, scratch.get());
            } catch (...) {
                look.error = std::current_exception();
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            chunk.done = c + 1;
        }
        m_chunkDone.notify_one();
    }
}

void PieceLooks::LookAt(const PieceToLook& piece, PieceLook& look, std::uint8_t* scratch) {
    if (piece.path.empty()) {
        return;
    }
    const std::string path(piece.path);
    if (m_mode == Mode::Bytes) {
        if (piece.size > kBytesLimit) {
            return;
        }
        FileStream file = OpenPieceForWriting(path, piece.size);
        look.present = true;
        look.length = piece.size;
        look.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(look.length);
        file.ReadExact(look.bytes.get(), look.length);
        look.read = look.length;
        return;
    }
    // Only an unchanged piece is taken from the index: one that changed is read for its writing
    // all the same, so it is read here, where its bytes may be kept for that.
    if (m_index != nullptr && m_index->Holds(piece.path)) {
        if (const std::optional<FileSignature> now = SignatureOfPath(path);
            now && now->size == piece.size && m_index->Lookup(piece.path, *now) == piece.crc) {
            look.present = true;
            look.length = look.read = piece.size;
            look.crc = piece.crc;
            look.fromIndex = true;
            return;
        }
    }
    look.takenAt = FileClockNow();
    std::optional<FileStream> file = FileStream::OpenExisting(path, omRead);
    if (!file) {
        return;
    }
    look.present = true;
    look.length = file->SizeAtOpen();
    if (m_index != nullptr) {
        look.signature = file->Signature();
    }
    // Files of the system's own (/proc/self/status) report a size of 0 and hold bytes all the
    // same; such a piece would empty its member.
    if (look.length == 0 && file->Read(scratch, 1) != 0) {
        throw FileOpenError(path, "cannot open file: it is not a regular file (it reports a size "
                                  "of 0 but holds bytes)");
    }
    if (look.length > std::max(piece.size, piece.room)) {
        return;
    }
    std::uint64_t left = look.length;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSumsKeptLimit));
        const std::size_t got = file->Read(scratch, want);
        look.crc = Crc32Update(look.crc, std::span<const std::uint8_t>(scratch, got));
        look.read += got;
        if (got < want) {
            break;
        }
        left -= got;
    }
    look.summedWhole = look.read == look.length && look.signature.size == look.length;
    // A piece that fits in the scratch block was read whole into it, unless it shrank.
    const bool differs = look.length != piece.size || look.crc != piece.crc;
    if (differs && look.length > 0 && look.read == look.length && look.length <= kSumsKeptLimit &&
        Reserve(look.length)) {
        look.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(look.length);
        std::copy_n(scratch, look.length, look.bytes.get());
    }
}

bool PieceLooks::Reserve(std::uint64_t length) {
    std::uint64_t kept = m_kept.load();
    while (length <= m_keptBudget - kept) {
        if (m_kept.compare_exchange_weak(kept, kept + length)) {
            return true;
        }
    }
    return false;
}

} // namespace eitool::datapack
