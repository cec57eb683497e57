#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace eitool {

// Working memory that is reused from one level or file to the next: it only grows, and its
// bytes are never cleared, so whoever asks for it must write every byte it reads afterwards.
class ScratchBuffer {
public:
    // At least size bytes of undefined content; valid until the next call.
    std::uint8_t* Get(std::size_t size) {
        if (size > m_size || !m_bytes) {
            m_bytes.reset(new std::uint8_t[size == 0 ? 1 : size]);
            m_size = size;
        }
        return m_bytes.get();
    }

private:
    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::size_t m_size = 0;
};

} // namespace eitool
