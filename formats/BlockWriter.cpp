#include "formats/BlockWriter.h"

#include <span>
#include <utility>

namespace eitool {

BlockWriter::~BlockWriter() {
    if (m_pending.valid()) {
        m_pending.wait();
    }
}

void BlockWriter::Start(std::vector<Piece> pieces) {
    Wait();
    m_pending = std::async(std::launch::async, [this, pieces = std::move(pieces)] {
        for (const Piece& piece : pieces) {
            if (m_file.BypassesCache() != piece.pastCache) {
                m_file.BypassCache(piece.pastCache);
            }
            m_file.WriteAt(piece.offset, std::span(piece.bytes, piece.count));
        }
    });
}

void BlockWriter::Wait() {
    if (m_pending.valid()) {
        m_pending.get();
    }
}

std::uint8_t* DoubleBuffer::Filling() {
    if (!m_filling) {
        m_filling.emplace(m_size);
    }
    return m_filling->data();
}

void DoubleBuffer::Hand(std::uint64_t offset, std::size_t count, bool pastCache) {
    std::vector<BlockWriter::Piece> pieces = {{offset, Filling(), count, pastCache}};
    m_writer.Wait();
    CallWriteHook(m_hook, m_file.Path());
    m_writer.Start(std::move(pieces));
    std::swap(m_filling, m_spare);
}

void DoubleBuffer::WriteNow(std::vector<BlockWriter::Piece> pieces) {
    m_writer.Wait();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        CallWriteHook(m_hook, m_file.Path());
    }
    m_writer.Start(std::move(pieces));
    m_writer.Wait();
}

} // namespace eitool
