#pragma once

#include <stdexcept>
#include <string>

namespace eitool {

// A failure that ends the whole run. Only the front ends catch it: the window shows its text in a
// message box, the command line prints it and exits with status 3. The message always names the
// file concerned and what failed.
class RunError : public std::runtime_error {
public:
    explicit RunError(const std::string& message) : std::runtime_error(message) {}
};

// A run ended by a second press of Stop: the file being handled was left between two steps, so no
// file is half written. The message names the file and says what is complete.
class RunAborted : public RunError {
public:
    using RunError::RunError;
};

// path as a message shows it: a NUL byte is written as "\0", so the message is not cut there,
// and a CR or LF as "\r" or "\n", so that it stays one line.
inline std::string ShownPath(const std::string& path) {
    std::string shown;
    shown.reserve(path.size());
    for (const char c : path) {
        if (c == '\0') {
            shown += "\\0";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

// A file (or directory) that cannot be opened, created, read or written.
class FileError : public RunError {
public:
    FileError(const std::string& path, const std::string& what)
        : RunError(ShownPath(path) + ": " + what), m_path(path) {}
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

class FileOpenError : public FileError {
public:
    using FileError::FileError;
};
class FileCreateError : public FileError {
public:
    using FileError::FileError;
};
class FileReadError : public FileError {
public:
    using FileError::FileError;
};
class FileWriteError : public FileError {
public:
    using FileError::FileError;
};

// Content that cannot be handled safely and that ends the run (a directory running past the end
// of its file, a names list that is too short ...).
class CorruptFileError : public FileError {
public:
    using FileError::FileError;
};

// A path built from file content that would leave the directory it must stay in, holds a NUL
// byte, or runs through a link or a non-directory below the target.
class UnsafePathError : public FileError {
public:
    using FileError::FileError;
};

} // namespace eitool
