#pragma once

#include <string>
#include <string_view>

namespace eitool::cli {

// Whether standard error / standard output is an interactive terminal.
bool StderrIsTerminal();
bool StdoutIsTerminal();

// Width of the terminal on standard error in columns, or 80 when it cannot be told.
int StderrColumns();

// Writes text to a standard stream at once (unbuffered by hand: written and flushed).
void WriteStdout(const std::string& text);
void WriteStderr(const std::string& text);

// Standard output gathered in pieces of about 64 KiB, for commands that print many lines.
class BufferedStdout {
public:
    BufferedStdout() = default;
    BufferedStdout(const BufferedStdout&) = delete;
    BufferedStdout& operator=(const BufferedStdout&) = delete;
    ~BufferedStdout() { Flush(); }

    BufferedStdout& operator<<(std::string_view text) {
        m_text += text;
        if (m_text.size() >= std::size_t{1} << 16) {
            Flush();
        }
        return *this;
    }
    void Flush() {
        if (!m_text.empty()) {
            WriteStdout(m_text);
            m_text.clear();
        }
    }

private:
    std::string m_text;
};

// text with every run of path separators cut to one, so that the paths of a message read
// "/game/a.tre" where the list holds "/game//a.tre". On Windows a leading "\\" (a network
// path) stays.
std::string SingleSeparators(const std::string& text);

} // namespace eitool::cli
