#include "formats/DataPackPieces.h"

#include "common/RunError.h"
#include "formats/Crc32.h"

#include <string>

namespace eitool::datapack {

PieceLooks::PieceLooks(Mode mode, std::vector<PieceToLook> pieces, std::uint64_t keptBudget)
    : m_mode(mode), m_pieces(std::move(pieces)), m_keptBudget(keptBudget),
      m_chunkCount((m_pieces.size() + kChunk - 1) / kChunk),
      m_chunks(std::min(kChunks, m_chunkCount)) {
    for (std::size_t i = 0; i < std::min(kOpeners, m_chunkCount); ++i) {
        m_threads.emplace_back([this, i] { OpenAll(i); });
    }
    for (std::size_t i = 0; i < std::min(kReaders, m_chunkCount); ++i) {
        m_threads.emplace_back([this, i] { ReadAll(i); });
    }
}

PieceLooks::~PieceLooks() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

PieceLook& PieceLooks::Take(std::size_t k) {
    const std::size_t c = k / kChunk;
    Chunk& chunk = m_chunks[c % m_chunks.size()];
    if (k % kChunk == 0) {
        std::unique_lock lock(m_mutex);
        m_released = c;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return chunk.read == c + 1; });
    }
    PieceLook& look = chunk.looks[k % kChunk];
    if (look.error) {
        std::rethrow_exception(look.error);
    }
    return look;
}

void PieceLooks::OpenAll(std::size_t from) {
    for (std::size_t c = from; c < m_chunkCount; c += kOpeners) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopped || c < m_released + m_chunks.size(); });
            if (m_stopped) {
                return;
            }
        }
        Chunk& chunk = m_chunks[c % m_chunks.size()];
        for (std::size_t k = c * kChunk; k < End(c); ++k) {
            PieceLook& look = chunk.looks[k % kChunk];
            look = PieceLook{};
            try {
                Open(m_pieces[k], look);
            } catch (...) {
                look.error = std::current_exception();
                look.piece.reset();
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            chunk.opened = c + 1;
        }
        m_changed.notify_all();
    }
}

void PieceLooks::ReadAll(std::size_t from) {
    std::unique_ptr<std::uint8_t[]> scratch;
    for (std::size_t c = from; c < m_chunkCount; c += kReaders) {
        Chunk& chunk = m_chunks[c % m_chunks.size()];
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopped || chunk.opened == c + 1; });
            if (m_stopped) {
                return;
            }
        }
        for (std::size_t k = c * kChunk; k < End(c); ++k) {
            PieceLook& look = chunk.looks[k % kChunk];
            if (!look.piece) {
                continue;
            }
            if (!scratch && m_mode == Mode::Sums) {
                scratch = std::make_unique_for_overwrite<std::uint8_t[]>(kSumsKeptLimit);
            }
            try {
                Read(m_pieces[k], look, scratch.get());
            } catch (...) {
                look.error = std::current_exception();
                look.piece.reset();
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            chunk.read = c + 1;
        }
        m_changed.notify_all();
    }
}

void PieceLooks::Open(const PieceToLook& piece, PieceLook& look) {
    if (piece.path.empty()) {
        return;
    }
    const std::string path(piece.path);
    if (m_mode == Mode::Bytes) {
        look.piece = FileStream::Open(path, omRead);
        if (look.piece->SizeAtOpen() != piece.size) {
            throw FileReadError(path, "the piece changed its length during the insertion");
        }
    } else {
        look.piece = FileStream::OpenExisting(path, omRead);
        if (!look.piece) {
            return;
        }
    }
    look.present = true;
    look.length = look.piece->SizeAtOpen();
    if (look.length == 0 || (m_mode == Mode::Sums && look.length > piece.size)) {
        look.piece.reset();
    } else if (m_mode == Mode::Sums || look.length <= kBytesLimit) {
        look.piece->AdviseWillRead();
    }
}

void PieceLooks::Read(const PieceToLook& piece, PieceLook& look, std::uint8_t* scratch) {
    if (m_mode == Mode::Bytes) {
        if (look.length <= kBytesLimit) {
            look.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(look.length);
            look.piece->ReadExact(look.bytes.get(), look.length);
            look.read = look.length;
            look.piece.reset();
        }
        return;
    }
    std::uint64_t left = look.length;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kSumsKeptLimit));
        const std::size_t got = look.piece->Read(scratch, want);
        look.crc = Crc32Update(look.crc, std::span<const std::uint8_t>(scratch, got));
        look.read += got;
        if (got < want) {
            break;
        }
        left -= got;
    }
    look.piece.reset();
    // A piece that fits in the scratch block was read whole into it, unless it shrank.
    const bool differs = look.length != piece.size || look.crc != piece.crc;
    if (differs && look.read == look.length && look.length <= kSumsKeptLimit &&
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
