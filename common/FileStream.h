#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace eitool {

// What kind of entry a path or an open file is.
enum class FileKind { Regular, Directory, Link, Fifo, Other };

// Which file an open stream or a path is: the device and the file's number on it (on Windows the
// volume serial number and the file index), with its kind and size at the moment of asking.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::uint64_t size = 0;
    FileKind kind = FileKind::Other;
    // The names the file has (hard links); 1 where the system does not say.
    std::uint64_t links = 1;

    bool SameFileAs(const FileIdentity& other) const {
        return device == other.device && number == other.number;
    }
};

// What tells whether a file's content may have changed: its identity, its size and the times of
// its last modification and of its last change (metadata included), in nanoseconds since 1970 as
// the file system keeps them (Windows: the last write and change times). Any write, a copy over
// the file, a rename onto its name or a time set back changes one of them.
struct FileSignature {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const FileSignature&) const = default;
};

enum OpenMode {
    omRead,       // read only; the file must exist
    omReadShared, // read only, sharing only with other readers: refused while a writer of this
                  // tool has the file open (omReadWrite), which is refused while it is open
    omReadWrite,  // read and write without sharing: a second opening by this tool fails
    omCreate,     // create or truncate, read and write
    omCreateNew,  // create, read and write; the name must not exist yet
};

// A file opened for one call of a handler. Read, ReadExact, Write and CopyFrom go to the stream's
// own position; ReadAt and WriteAt go to the offset they are given and leave the position alone,
// so that a file that more than one thread uses is only ever read and written with them. Every
// failure throws a FileError that names the path.
// Every file opened is a regular file: a FIFO, device or directory is refused without waiting on
// it (FileOpenError, or FileCreateError for the creating modes). The creating modes never follow
// a link at the final name (FileCreateError); the name's directories are the caller's to check.
// A path with a NUL byte is refused with UnsafePathError before anything is opened.
class FileStream {
public:
    static FileStream Open(const std::string& path, OpenMode mode);
    // The same, but nothing when no entry at all is at path. A dangling link is an entry, and is
    // refused as Open refuses it.
    static std::optional<FileStream> OpenExisting(const std::string& path, OpenMode mode);

    // A new file without a name in directory (Linux: O_TMPFILE), open for reading and writing,
    // to be named by LinkAs once complete, so that nothing of it is left if the process ends
    // first; nothing where the system or the file system cannot make one. path is the name it is
    // meant to get, which errors show.
    static std::optional<FileStream> CreateUnnamed(const std::string& directory,
                                                   const std::string& path);

    FileStream() = default;
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream();

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

    std::uint64_t Size() const;
    // The size the file had when it was opened, without asking the system again.
    std::uint64_t SizeAtOpen() const { return m_sizeAtOpen; }
    // The identity of the open file (throws FileReadError).
    FileIdentity Identity() const;
    // The signature of the open file (throws FileReadError).
    FileSignature Signature() const;
    std::uint64_t Position() const { return m_pos; }
    void Seek(std::uint64_t position) { m_pos = position; }

    // Reads up to count bytes; returns how many were read (0 at the end of the file).
    std::size_t Read(void* buffer, std::size_t count);
    // Reads exactly count bytes or throws FileReadError.
    void ReadExact(void* buffer, std::size_t count);
    void Write(const void* buffer, std::size_t count);

    // Reads exactly bytes.size() bytes at offset or throws FileReadError; the position stays.
    void ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const;
    // Writes bytes at offset; the position stays.
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // Block copy of count bytes from the source's position to this stream's position; both
    // positions advance. A source that ends early throws FileReadError naming the source.
    void CopyFrom(FileStream& source, std::uint64_t count);

    // Lets writes go straight to the disk, past the system's cache, where the system allows it
    // (Linux); returns whether it does. Such writes are for whole blocks from a buffer aligned to
    // 4096 bytes at a multiple of 4096; any other write falls back to the cache by itself.
    // Writing a new file of many MiB this way costs a fraction of filling the cache with it.
    // The switch holds for the whole open file: only the thread that writes the file switches it
    // (BlockWriter does it on its own thread).
    bool BypassCache(bool on);
    bool BypassesCache() const { return m_bypass; }

    // Gives a file from CreateUnnamed the name path, never replacing anything there; false when
    // path exists. Throws FileWriteError naming path for any other failure.
    bool LinkAs(const std::string& path);

    // Gives this file the permission bits of other (Linux; nothing elsewhere), for a file that
    // replaces it. Failures are ignored: the file keeps the bits it was created with.
    void TakePermissionsOf(const FileStream& other);

    // Makes everything written so far durable (fsync).
    void Flush();
    void Close();

private:
    FileStream(int fd, std::string path, std::uint64_t sizeAtOpen)
        : m_fd(fd), m_path(std::move(path)), m_sizeAtOpen(sizeAtOpen) {}
    static std::optional<FileStream> OpenFile(const std::string& path, OpenMode mode,
                                              bool missingIsNone);
    // Reads up to count bytes at offset; fewer only at the end of the file.
    std::size_t ReadUpTo(std::uint64_t offset, void* buffer, std::size_t count) const;

    int m_fd = -1;
    std::string m_path;
    std::uint64_t m_pos = 0;
    std::uint64_t m_sizeAtOpen = 0;
    bool m_bypass = false;
};

// Memory at an address that a write past the system's cache accepts (FileStream::BypassCache),
// not filled.
class AlignedBuffer {
public:
    static constexpr std::size_t kAlignment = 4096;

    explicit AlignedBuffer(std::size_t size);
    AlignedBuffer(AlignedBuffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    AlignedBuffer& operator=(AlignedBuffer&& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        return *this;
    }
    ~AlignedBuffer();

    std::uint8_t* data() { return m_data; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t* m_data;
    std::size_t m_size;
};

// The identity of the entry at path itself, a final link not followed; nothing when there is no
// entry or it cannot be looked at.
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

// The signature of the regular file at path itself, a final link not followed; nothing when there
// is no regular file there or it cannot be looked at.
std::optional<FileSignature> SignatureOfPath(const std::string& path);

// The system's clock now, in the unit and epoch of FileSignature's times.
std::int64_t FileClockNow();

// The whole content of a file (throws FileOpenError / FileReadError).
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Creates (or truncates) a file holding exactly bytes, written in place: for files nobody has
// yet, such as samples and test inputs. A file that replaces one the user has goes through
// PendingFile.
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace eitool
