#pragma once

#include <exception>
#include <string>
#include <utility>

namespace eitool {

// The two ways a problem travels:
// - A source refused for its content, where the run goes on, is a results line: the source's
//   (or its piece's) path followed by a message that starts with a blank (" has invalid header!").
//   A handler that finds it where it can simply stop adds the line itself; a reader deep inside a
//   handler calls Refuse instead, and the Refusal is turned into that line where the file's
//   handling began: by the batch run for an extraction, by the replay for an insertion (and by
//   the font inserter itself, whose return value does not change for a refused block).
// - Everything that ends the run is a RunError (common/RunError.h).
// ByteReader's OutOfBounds never leaves the reader that uses it: that reader turns it into one of
// the two, as its format's rule says.
class Refusal : public std::exception {
public:
    explicit Refusal(std::string line) : m_line(std::move(line)) {}
    // The whole results line.
    const std::string& Line() const noexcept { return m_line; }
    const char* what() const noexcept override { return m_line.c_str(); }

private:
    std::string m_line;
};

[[noreturn]] inline void Refuse(std::string line) {
    throw Refusal(std::move(line));
}

} // namespace eitool
