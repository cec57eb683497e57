#pragma once

#include "common/FileStream.h"
#include "common/WriteHook.h"

#include <cstddef>
#include <cstdint>
#include <future>
#include <optional>
#include <vector>

namespace eitool {

// Writes blocks of a file on a thread of its own, one block at a time, so that the caller can
// fill the next block meanwhile. Every piece goes to the offset it names (FileStream::WriteAt),
// and only the writing thread switches the file's cache bypass, so no position or mode of the
// stream is shared between threads. While a block is out, nothing else may write to the file.
// Wait returns once the block handed over last is written, and rethrows what its writing threw;
// the destructor waits too, so the thread has finished before anything that follows a failure.
class BlockWriter {
public:
    explicit BlockWriter(FileStream& file) : m_file(file) {}
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    ~BlockWriter();

    // count bytes for offset, written past the cache when pastCache and the system allows it.
    struct Piece {
        std::uint64_t offset = 0;
        const std::uint8_t* bytes = nullptr;
        std::size_t count = 0;
        bool pastCache = false;
    };

    // Writes the pieces of a block in order; their bytes stay untouched until the next Wait.
    // Waits for the block before first.
    void Start(std::vector<Piece> pieces);
    void Wait();

private:
    FileStream& m_file;
    std::future<void> m_pending;
};

// Two buffers of one size for a BlockWriter: one is filled while the other is written. Each is
// allocated at its first use, aligned for writes past the cache. Every block handed over is
// preceded by a call of the write hook, on the caller's thread, once the block before is written.
class DoubleBuffer {
public:
    DoubleBuffer(FileStream& file, std::size_t size, WriteHook* hook)
        : m_file(file), m_size(size), m_hook(hook), m_writer(file) {}

    std::size_t Size() const { return m_size; }
    // The buffer being filled.
    std::uint8_t* Filling();
    // Hands the first count bytes of the buffer being filled to the writer, for offset, and goes
    // on with the other buffer.
    void Hand(std::uint64_t offset, std::size_t count, bool pastCache);
    // Writes pieces, with a write hook call each, once the block before is written, and waits for
    // them; the buffer being filled may be among them.
    void WriteNow(std::vector<BlockWriter::Piece> pieces);
    void Wait() { m_writer.Wait(); }

private:
    FileStream& m_file;
    const std::size_t m_size;
    WriteHook* const m_hook;
    std::optional<AlignedBuffer> m_filling;
    std::optional<AlignedBuffer> m_spare;
    // Declared last, so that it waits before the buffers go.
    BlockWriter m_writer;
};

} // namespace eitool
