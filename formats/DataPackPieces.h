#pragma once

// Internal to the formats library: the pieces of an insertion, opened and read on threads of
// their own while the insertion goes through them in order.

#include "common/FileStream.h"
#include "run/PieceIndex.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace eitool::datapack {

// A piece to look at: its path (empty: nothing to look at), the size and CRC-32 of the member it
// is for, and the largest length that is summed (the size, unless the pack may grow).
struct PieceToLook {
    std::string_view path;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint64_t room = 0;
};

// What the look at one piece found.
struct PieceLook {
    bool present = false;     // a file is at the path
    std::uint64_t length = 0; // its size when it was opened
    std::uint64_t read = 0;   // the bytes summed: length, or fewer when it shrank meanwhile
    std::uint32_t crc = 0;    // their CRC-32; only summed when the piece fits its room
    // The piece's bytes, when they were kept (see PieceLooks).
    std::unique_ptr<std::uint8_t[]> bytes;
    // What opening or reading it threw; thrown again where the look is taken.
    std::exception_ptr error;
    // Sums: the CRC-32 came from the index, and the piece was not opened.
    bool fromIndex = false;
    // Sums: the piece was summed whole; its signature, taken when it was opened, and the moment
    // before it was taken, for PieceIndex::Record.
    bool summedWhole = false;
    FileSignature signature;
    std::int64_t takenAt = 0;
};

// A piece that differs from its member and goes in: it fits in its member's room, or it grew and
// the pack is rebuilt around it.
struct PlannedPiece {
    std::uint32_t fileIndex = 0;
    std::string path;
    std::uint64_t length = 0;
    std::uint32_t crc = 0;
    // The piece's bytes as they were read for the CRC-32, when they are kept for the writing.
    std::unique_ptr<std::uint8_t[]> bytes;
    // False for a member that shares its range with one planned before it: that one writes the
    // bytes, and this one takes only the new size and CRC-32.
    bool writesBytes = true;
    // Longer than its member: it goes in only by a rebuild of the pack.
    bool grown = false;
};

// Opens a changed piece for its writing: it must still have the length it was compared with
// (FileReadError otherwise).
FileStream OpenPieceForWriting(const std::string& path, std::uint64_t length);

// Whether the pieces at paths a and b both hold the same length bytes (a path names the same
// bytes as itself). A missing piece, or one of another length, holds other bytes.
bool PiecesHoldSameBytes(const std::string& a, const std::string& b, std::uint64_t length);

// Looks at pieces[k], k from 0 up, a window ahead of the caller, on worker threads that take
// chunks of pieces in turn. Each worker opens, reads and closes one piece at a time, so that the
// reads of pieces not in the cache overlap (sixteen at once: on a virtual disk the time of
// 10,000 small pieces fell from 0.87 s with one to 0.2 s) and the sums share the cores. Nothing
// but regular files is read, and each is opened without waiting.
// - Sums: a missing piece is not present. A piece that the index holds with the signature it has
//   now and with its member's size and CRC-32 is unchanged without being opened (one lstat). Any
//   other piece that fits its member is read whole and its CRC-32 summed; the bytes of one that
//   differs are kept while they fit keptBudget (in all, and none above kSumsKeptLimit).
// - Bytes: every piece up to kBytesLimit must be there with the member's size (FileReadError
//   otherwise), and its bytes are kept. A larger one is left to the caller.
class PieceLooks {
public:
    enum class Mode { Sums, Bytes };
    static constexpr std::size_t kSumsKeptLimit = std::size_t{64} << 10;
    static constexpr std::size_t kBytesLimit = std::size_t{64} << 10;

    PieceLooks(Mode mode, std::vector<PieceToLook> pieces, std::uint64_t keptBudget = 0,
               const PieceIndex* index = nullptr);
    PieceLooks(const PieceLooks&) = delete;
    PieceLooks& operator=(const PieceLooks&) = delete;
    ~PieceLooks();

    // The look at pieces[k], waited for. Calls come with k = 0, 1, 2 ...; what one returns stays
    // valid until the next call. Throws what the look threw.
    PieceLook& Take(std::size_t k);

private:
    // The threads meet once a chunk, not once a piece.
    static constexpr std::size_t kChunk = 16;
    // Chunks in flight at once, and the workers on them. The writing reads what the comparison
    // has just read, from the cache, and holds the bytes of its chunks: fewer of both.
    static constexpr std::size_t kSumsChunks = 32;
    static constexpr std::size_t kSumsWorkers = 16;
    static constexpr std::size_t kBytesChunks = 4;
    static constexpr std::size_t kBytesWorkers = 4;

    struct Chunk {
        std::array<PieceLook, kChunk> looks;
        std::size_t done = 0; // c + 1 of the last chunk c looked at into it
    };

    void Work();
    void LookAt(const PieceToLook& piece, PieceLook& look, std::uint8_t* scratch);
    bool Reserve(std::uint64_t length);
    std::size_t End(std::size_t c) const { return std::min(m_pieces.size(), (c + 1) * kChunk); }

    const Mode m_mode;
    const std::vector<PieceToLook> m_pieces;
    const std::uint64_t m_keptBudget;
    const PieceIndex* const m_index;
    const std::size_t m_chunkCount;
    std::atomic<std::uint64_t> m_kept{0};
    std::vector<Chunk> m_chunks;

    std::mutex m_mutex;
    std::condition_variable m_chunkDone; // the caller waits on it
    std::condition_variable m_released;  // the workers wait on it
    std::size_t m_next = 0;              // the next chunk to be taken by a worker
    std::size_t m_releasedUpTo = 0;      // the caller is done with every chunk before this one
    bool m_stopped = false;
    std::vector<std::thread> m_threads;
};

} // namespace eitool::datapack
