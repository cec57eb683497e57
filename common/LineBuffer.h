#pragma once

#include "common/TextLines.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// An ordered list of 8-bit text lines held as one run of bytes, for lists that may be as large
// as the files they come from (logs, project lists). Lines end at CR LF, LF or CR, as in
// SplitTextLines. The bytes are kept with every line ending made one LF, and only every
// kStride-th line's start is indexed; a line is found by scanning from the start before it. So
// the list takes at most its file's size plus about half a byte per line.
//
// Views returned by operator[] and the iterator stay valid until the list is changed.
class LineBuffer {
public:
    static constexpr std::size_t kStride = 16;

    LineBuffer() = default;
    // Each element becomes a line; a line ending inside an element splits it.
    LineBuffer(std::initializer_list<std::string_view> lines);
    explicit LineBuffer(const TextLines& lines);

    // The lines of text (taken over, so that no second copy is made).
    static LineBuffer FromText(std::string text);
    // Loads a file's lines (throws FileOpenError / FileReadError).
    static LineBuffer Load(const std::string& path);

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    std::string_view operator[](std::size_t i) const;

    // Appends one line; a line ending inside it splits it.
    void push_back(std::string_view line);
    void clear();
    // Removes count bytes (at most the whole line) from the front of line i, in place.
    void DropFront(std::size_t i, std::size_t count);

    TextLines ToTextLines() const;

    // Walks the lines in order without going back to the index.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::string_view*;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const;
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }

    private:
        friend class LineBuffer;
        const_iterator(const std::string* text, std::size_t at) : m_text(text), m_at(at) {}
        const std::string* m_text = nullptr;
        std::size_t m_at = 0; // the offset of the line's first byte
    };
    const_iterator begin() const { return {&m_text, 0}; }
    const_iterator end() const { return {&m_text, m_text.size()}; }
    // The iterator at line i (end() for i == size()).
    const_iterator IteratorAt(std::size_t i) const;

    friend bool operator==(const LineBuffer& a, const TextLines& b);

private:
    // Indexes the lines of m_text from byte offset from on; m_text ends with an LF.
    void IndexFrom(std::size_t from);
    std::size_t StartOf(std::size_t i) const;

    // Every line followed by one LF. A CR never ends a line here: DropFront fills the bytes it
    // removes with CR, and a line's text begins after its leading CRs.
    std::string m_text;
    std::vector<std::size_t> m_starts; // the start of line k * kStride, for every k
    std::size_t m_count = 0;
};

} // namespace eitool
