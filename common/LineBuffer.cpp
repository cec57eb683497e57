#include "common/LineBuffer.h"

#include "common/FileStream.h"
#include "common/RunError.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace eitool {

namespace {

// Makes every line ending of text, from byte from on, one LF, in place, and ends the text with
// an LF unless it is empty.
void NormaliseEndings(std::string& text, std::size_t from) {
    const std::size_t n = text.size();
    const void* firstCr = from < n ? std::memchr(text.data() + from, '\r', n - from) : nullptr;
    if (firstCr != nullptr) {
        std::size_t out = static_cast<std::size_t>(static_cast<const char*>(firstCr) - text.data());
        for (std::size_t i = out; i < n; ++i) {
            char c = text[i];
            if (c == '\r') {
                c = '\n';
                if (i + 1 < n && text[i + 1] == '\n') {
                    ++i;
                }
            }
            text[out++] = c;
        }
        text.resize(out);
    }
    if (text.size() > from && text.back() != '\n') {
        text.push_back('\n');
    }
}

} // namespace

LineBuffer::LineBuffer(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const std::string_view line : lines) {
        text.append(line);
        text.push_back('\n');
    }
    *this = FromText(std::move(text));
}

LineBuffer::LineBuffer(const TextLines& lines) {
    std::size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size() + 1;
    }
    std::string text;
    text.reserve(total);
    for (const std::string& line : lines) {
        text.append(line);
        text.push_back('\n');
    }
    *this = FromText(std::move(text));
}

LineBuffer LineBuffer::FromText(std::string text) {
    LineBuffer buffer;
    NormaliseEndings(text, 0);
    // Lines ended by CR LF leave up to half of the bytes unused.
    if (text.capacity() - text.size() > text.size() / 4) {
        text.shrink_to_fit();
    }
    buffer.m_text = std::move(text);
    buffer.IndexFrom(0);
    return buffer;
}

LineBuffer LineBuffer::Load(const std::string& path) {
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t size = file.Size();
    if (size >= std::numeric_limits<std::size_t>::max() / 2) {
        throw FileReadError(path, "the file of " + std::to_string(size) +
                                      " bytes is too large to hold in memory");
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(size) + 1); // room for a last line ending
    text.resize(static_cast<std::size_t>(size));
    file.ReadExact(text.data(), text.size());
    return FromText(std::move(text));
}

void LineBuffer::IndexFrom(std::size_t from) {
    const std::size_t n = m_text.size();
    if (from == 0) {
        const auto lines = static_cast<std::size_t>(std::count(m_text.begin(), m_text.end(), '\n'));
        m_starts.reserve((lines + kStride - 1) / kStride);
    }
    const char* data = m_text.data();
    std::size_t at = from;
    while (at < n) {
        if (m_count % kStride == 0) {
            m_starts.push_back(at);
        }
        ++m_count;
        const auto* end = static_cast<const char*>(std::memchr(data + at, '\n', n - at));
        at = static_cast<std::size_t>(end - data) + 1; // the text ends with an LF
    }
}

std::size_t LineBuffer::StartOf(std::size_t i) const {
    if (i >= m_count) {
        return m_text.size();
    }
    std::size_t at = m_starts[i / kStride];
    const char* data = m_text.data();
    for (std::size_t k = i % kStride; k > 0; --k) {
        const auto* end =
            static_cast<const char*>(std::memchr(data + at, '\n', m_text.size() - at));
        at = static_cast<std::size_t>(end - data) + 1;
    }
    return at;
}

std::string_view LineBuffer::operator[](std::size_t i) const {
    return *const_iterator(&m_text, StartOf(i));
}

LineBuffer::const_iterator LineBuffer::IteratorAt(std::size_t i) const {
    return {&m_text, StartOf(i)};
}

std::string_view LineBuffer::const_iterator::operator*() const {
    const char* data = m_text->data();
    const std::size_t n = m_text->size();
    std::size_t first = m_at;
    while (first < n && data[first] == '\r') {
        ++first;
    }
    if (first >= n) {
        return {}; // end()
    }
    const auto* end = static_cast<const char*>(std::memchr(data + first, '\n', n - first));
    return {data + first, static_cast<std::size_t>(end - (data + first))};
}

LineBuffer::const_iterator& LineBuffer::const_iterator::operator++() {
    const char* data = m_text->data();
    const std::size_t n = m_text->size();
    if (m_at < n) {
        const auto* end = static_cast<const char*>(std::memchr(data + m_at, '\n', n - m_at));
        m_at = static_cast<std::size_t>(end - data) + 1;
    }
    return *this;
}

void LineBuffer::push_back(std::string_view line) {
    const std::size_t from = m_text.size();
    m_text.append(line);
    NormaliseEndings(m_text, from);
    if (m_text.size() == from) {
        m_text.push_back('\n'); // an empty line
    }
    IndexFrom(from);
}

void LineBuffer::clear() {
    // The memory goes back too: a list may have held a whole log.
    m_text = std::string();
    m_starts = std::vector<std::size_t>();
    m_count = 0;
}

void LineBuffer::DropFront(std::size_t i, std::size_t count) {
    if (i >= m_count) {
        return;
    }
    const std::string_view line = (*this)[i];
    const auto first = static_cast<std::size_t>(line.data() - m_text.data());
    std::fill_n(m_text.begin() + static_cast<std::ptrdiff_t>(first), std::min(count, line.size()),
                '\r');
}

TextLines LineBuffer::ToTextLines() const {
    TextLines lines;
    lines.reserve(m_count);
    for (const std::string_view line : *this) {
        lines.emplace_back(line);
    }
    return lines;
}

bool operator==(const LineBuffer& a, const TextLines& b) {
    if (a.size() != b.size()) {
        return false;
    }
    std::size_t i = 0;
    for (const std::string_view line : a) {
        if (line != b[i++]) {
            return false;
        }
    }
    return true;
}

} // namespace eitool
