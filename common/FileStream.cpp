#include "common/FileStream.h"

#include "common/FileSystem.h"
#include "common/RunError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#ifdef _WIN32
#include "common/WindowsApi.h"

#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace eitool {

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

constexpr std::size_t kCopyBlock = 1 << 20;

bool IsCreating(OpenMode mode) {
    return mode == omCreate || mode == omCreateNew;
}

#ifdef _WIN32
// The C library's number for the system's most common failures, so that messages read as they
// do on other systems.
int ErrnoOfWindowsError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
        return ENOSPC;
    default:
        return EACCES;
    }
}
#endif

[[noreturn]] void ThrowOpenFailure(const std::string& path, OpenMode mode, const std::string& why) {
    if (IsCreating(mode)) {
        throw FileCreateError(path, "cannot create file: " + why);
    }
    throw FileOpenError(path, "cannot open file: " + why);
}

} // namespace

FileStream FileStream::Open(const std::string& path, OpenMode mode) {
    return *OpenFile(path, mode, false);
}

std::optional<FileStream> FileStream::OpenExisting(const std::string& path, OpenMode mode) {
    return OpenFile(path, mode, true);
}

std::optional<FileStream> FileStream::OpenFile(const std::string& path, OpenMode mode,
                                               bool missingIsNone) {
    CheckPathText(path);
#ifdef _WIN32
    if (missingIsNone && !FileExists(path)) {
        return std::nullopt;
    }
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // NOTE: Windows has no O_NOFOLLOW; a creating mode refuses a name that is a link first.
        if (IsCreating(mode) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            ThrowOpenFailure(path, mode, "it is a link; nothing is written through it");
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ThrowOpenFailure(path, mode, "it is a directory, not a regular file");
        }
    }
    // The share modes are mandatory: a writer shares with nobody, a shared reader lets other
    // readers in but no writer, a plain reader and a creator share everything.
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
    case omRead:
        break;
    case omReadShared:
        share = FILE_SHARE_READ;
        break;
    case omReadWrite:
        access |= GENERIC_WRITE;
        share = 0;
        break;
    case omCreate:
        access |= GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case omCreateNew:
        access |= GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
            throw FileOpenError(path, "cannot open file: it is in use by another process");
        }
        ThrowOpenFailure(path, mode, ErrnoText(ErrnoOfWindowsError(error)));
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        ThrowOpenFailure(path, mode, "it is not a regular file");
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(handle, &size);
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        ThrowOpenFailure(path, mode, ErrnoText(errno));
    }
    return FileStream(fd, path, static_cast<std::uint64_t>(size.QuadPart));
#else
    // Opened without waiting, so a FIFO cannot hold the run; the check below refuses it.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
    case omRead:
    case omReadShared:
        flags |= O_RDONLY;
        break;
    case omReadWrite:
        flags |= O_RDWR;
        break;
    case omCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
        break;
    case omCreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        // Asked only when the open failed, so that a present file costs no lookup more.
        if ((error == ENOENT || error == ENOTDIR) && missingIsNone && !FileExists(path)) {
            return std::nullopt;
        }
        if (error == ELOOP && IsCreating(mode)) {
            ThrowOpenFailure(path, mode, "it is a link; nothing is written through it");
        }
        if (error == EISDIR) {
            ThrowOpenFailure(path, mode, "it is a directory, not a regular file");
        }
        ThrowOpenFailure(path, mode, ErrnoText(error));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        ThrowOpenFailure(path, mode, ErrnoText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        ThrowOpenFailure(path, mode,
                         S_ISDIR(info.st_mode) ? "it is a directory, not a regular file"
                                               : "it is not a regular file");
    }
    // Of the flags F_SETFL changes, only O_NONBLOCK was given, so clearing all clears it.
    if (::fcntl(fd, F_SETFL, 0) != 0) {
        const int error = errno;
        ::close(fd);
        ThrowOpenFailure(path, mode, ErrnoText(error));
    }
    // The lock is advisory: it holds between runs of this tool (an insertion and an extraction of
    // the same pack), not against other programs.
    const int lock = mode == omReadWrite ? LOCK_EX : mode == omReadShared ? LOCK_SH : 0;
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            throw FileOpenError(path, "cannot open file: it is in use by another process");
        }
        throw FileOpenError(path, "cannot lock file: " + ErrnoText(error));
    }
    return FileStream(fd, path, static_cast<std::uint64_t>(info.st_size));
#endif
}

std::optional<FileStream> FileStream::CreateUnnamed(const std::string& directory,
                                                    const std::string& path) {
    CheckPathText(directory);
    CheckPathText(path);
#if defined(__linux__) && defined(O_TMPFILE)
    // Naming goes through /proc; without it no file is made unnamed.
    static const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
    if (!procThere) {
        return std::nullopt;
    }
    const int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        // File systems without unnamed files answer with one of these.
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
            return std::nullopt;
        }
        throw FileCreateError(path, "cannot create file: " + ErrnoText(error));
    }
    return FileStream(fd, path, 0);
#else
    (void)directory;
    (void)path;
    return std::nullopt;
#endif
}

bool FileStream::LinkAs(const std::string& path) {
    CheckPathText(path);
#if defined(__linux__)
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    const int error = errno;
    if (error == EEXIST) {
        return false;
    }
    throw FileWriteError(path, "cannot name the file: " + ErrnoText(error));
#else
    throw FileWriteError(path, "cannot name the file: not supported");
#endif
}

FileStream::FileStream(FileStream&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_pos(other.m_pos),
      m_sizeAtOpen(other.m_sizeAtOpen), m_bypass(other.m_bypass) {}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_pos = other.m_pos;
        m_sizeAtOpen = other.m_sizeAtOpen;
        m_bypass = other.m_bypass;
    }
    return *this;
}

FileStream::~FileStream() {
    Close();
}

void FileStream::Close() {
    if (m_fd >= 0) {
#ifdef _WIN32
        _close(m_fd);
#else
        ::close(m_fd);
#endif
        m_fd = -1;
    }
}

std::uint64_t FileStream::Size() const {
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(m_fd, &info) != 0) {
        throw FileReadError(m_path, "cannot read the file size: " + ErrnoText(errno));
    }
#else
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        throw FileReadError(m_path, "cannot read the file size: " + ErrnoText(errno));
    }
#endif
    return static_cast<std::uint64_t>(info.st_size);
}

#ifdef _WIN32
namespace {

// Reads and writes go through the file's handle with the offset in an OVERLAPPED, so that no
// shared position is involved. They move the handle's own position as a side effect, which
// nothing here relies on: no read or write of this class goes through the descriptor.
HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

OVERLAPPED OverlappedAt(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// One read of up to count bytes at offset: the bytes read (0 at the end of the file), or -1
// with errno set.
std::ptrdiff_t ReadOnce(int fd, std::uint64_t offset, void* buffer, std::size_t count) {
    OVERLAPPED at = OverlappedAt(offset);
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (!ReadFile(HandleOf(fd), buffer, want, &got, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) {
            return 0;
        }
        errno = ErrnoOfWindowsError(error);
        return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t WriteOnce(int fd, std::uint64_t offset, const void* buffer, std::size_t count) {
    OVERLAPPED at = OverlappedAt(offset);
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (!WriteFile(HandleOf(fd), buffer, want, &put, &at)) {
        errno = ErrnoOfWindowsError(GetLastError());
        return -1;
    }
    return static_cast<std::ptrdiff_t>(put);
}

} // namespace
#else
namespace {

std::ptrdiff_t ReadOnce(int fd, std::uint64_t offset, void* buffer, std::size_t count) {
    return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}

std::ptrdiff_t WriteOnce(int fd, std::uint64_t offset, const void* buffer, std::size_t count) {
    return ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
}

} // namespace
#endif

std::size_t FileStream::ReadUpTo(std::uint64_t offset, void* buffer, std::size_t count) const {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::ptrdiff_t got = ReadOnce(m_fd, offset + done, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileReadError(m_path, "read failed at offset " + std::to_string(offset + done) +
                                            ": " + ErrnoText(errno));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t FileStream::Read(void* buffer, std::size_t count) {
    const std::size_t done = ReadUpTo(m_pos, buffer, count);
    m_pos += done;
    return done;
}

void FileStream::ReadExact(void* buffer, std::size_t count) {
    const std::uint64_t start = m_pos;
    if (Read(buffer, count) != count) {
        throw FileReadError(m_path, "the file ends before " + std::to_string(count) +
                                        " bytes at offset " + std::to_string(start) +
                                        " could be read");
    }
}

void FileStream::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    if (ReadUpTo(offset, bytes.data(), bytes.size()) != bytes.size()) {
        throw FileReadError(m_path, "the file ends before " + std::to_string(bytes.size()) +
                                        " bytes at offset " + std::to_string(offset) +
                                        " could be read");
    }
}

void FileStream::Write(const void* buffer, std::size_t count) {
    WriteAt(m_pos, std::span(static_cast<const std::uint8_t*>(buffer), count));
    m_pos += count;
}

void FileStream::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::ptrdiff_t put =
            WriteOnce(m_fd, offset + done, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A write that cannot go past the cache (its length, its offset, the file system)
            // goes through it.
            if (errno == EINVAL && m_bypass && BypassCache(false)) {
                continue;
            }
            throw FileWriteError(m_path, "write failed at offset " + std::to_string(offset + done) +
                                             ": " + ErrnoText(errno));
        }
        if (put == 0) {
            throw FileWriteError(m_path, "write failed at offset " + std::to_string(offset + done) +
                                             ": no space written");
        }
        done += static_cast<std::size_t>(put);
    }
}

void FileStream::CopyFrom(FileStream& source, std::uint64_t count) {
    std::uint64_t left = count;
#if defined(__linux__)
    // The kernel copies without a trip through user memory where it can.
    while (left > 0) {
        loff_t in = static_cast<loff_t>(source.m_pos);
        loff_t out = static_cast<loff_t>(m_pos);
        const ssize_t moved =
            ::copy_file_range(source.m_fd, &in, m_fd, &out, static_cast<std::size_t>(left), 0);
        if (moved < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                break; // fall back to the buffer below
            }
            throw FileWriteError(m_path, "copy from " + source.m_path + " failed at offset " +
                                             std::to_string(m_pos) + ": " + ErrnoText(errno));
        }
        if (moved == 0) {
            throw FileReadError(source.m_path, "the file ends before " + std::to_string(count) +
                                                   " bytes could be copied from offset " +
                                                   std::to_string(source.m_pos - (count - left)));
        }
        source.m_pos += static_cast<std::uint64_t>(moved);
        m_pos += static_cast<std::uint64_t>(moved);
        left -= static_cast<std::uint64_t>(moved);
    }
#endif
    if (left == 0) {
        return;
    }
    const std::size_t blockSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyBlock));
    auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, blockSize));
        const std::size_t got = source.Read(block.get(), want);
        if (got != want) {
            throw FileReadError(source.m_path, "the file ends before " + std::to_string(count) +
                                                   " bytes could be copied");
        }
        Write(block.get(), got);
        left -= got;
    }
}

bool FileStream::BypassCache(bool on) {
#if defined(__linux__)
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, on ? (flags | O_DIRECT) : (flags & ~O_DIRECT)) != 0) {
        return false;
    }
    m_bypass = on;
    return true;
#else
    return !on;
#endif
}

void FileStream::TakePermissionsOf(const FileStream& other) {
#ifndef _WIN32
    struct stat info {};
    if (::fstat(other.m_fd, &info) == 0) {
        ::fchmod(m_fd, info.st_mode & 0777);
    }
#else
    (void)other;
#endif
}

void FileStream::Flush() {
#ifdef _WIN32
    if (_commit(m_fd) != 0) {
        throw FileWriteError(m_path, "cannot flush the file to disk: " + ErrnoText(errno));
    }
#else
    if (::fsync(m_fd) != 0) {
        throw FileWriteError(m_path, "cannot flush the file to disk: " + ErrnoText(errno));
    }
#endif
}

AlignedBuffer::AlignedBuffer(std::size_t size)
    : m_data(static_cast<std::uint8_t*>(::operator new (size, std::align_val_t{kAlignment}))),
      m_size(size) {}

AlignedBuffer::~AlignedBuffer() {
    ::operator delete (m_data, std::align_val_t{kAlignment});
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t size = file.Size();
    if (size > std::numeric_limits<std::size_t>::max() / 2) {
        throw FileReadError(path, "the file of " + std::to_string(size) +
                                      " bytes is too large to hold in memory");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.ReadExact(bytes.data(), bytes.size());
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FileStream file = FileStream::Open(path, omCreate);
    file.Write(bytes.data(), bytes.size());
}

// ---- File identity ----------------------------------------------------------------------------

#ifdef _WIN32
namespace {

FileKind KindOfAttributes(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return FileKind::Link;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return FileKind::Directory;
    }
    return FileKind::Regular;
}

bool IdentityOfHandle(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) == FILE_TYPE_PIPE) {
        identity.kind = FileKind::Fifo;
        return true;
    }
    if (!GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    identity.device = info.dwVolumeSerialNumber;
    identity.number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity.kind = KindOfAttributes(info.dwFileAttributes);
    identity.links = info.nNumberOfLinks;
    return true;
}

} // namespace

FileIdentity FileStream::Identity() const {
    FileIdentity identity;
    if (!IdentityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(m_fd)), identity)) {
        throw FileReadError(m_path, "cannot read which file this is");
    }
    return identity;
}

namespace {

// Windows counts 100 ns steps from 1601; signatures count nanoseconds from 1970.
std::int64_t NanosecondsOfFileTime(std::int64_t ticks) {
    constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
    return (ticks - kTicksFrom1601To1970) * 100;
}

bool SignatureOfHandle(HANDLE handle, FileSignature& signature) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;
    }
    signature.device = info.dwVolumeSerialNumber;
    signature.number = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    signature.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    signature.modified = NanosecondsOfFileTime(times.LastWriteTime.QuadPart);
    signature.changed = NanosecondsOfFileTime(times.ChangeTime.QuadPart);
    return true;
}

} // namespace

FileSignature FileStream::Signature() const {
    FileSignature signature;
    if (!SignatureOfHandle(HandleOf(m_fd), signature)) {
        throw FileReadError(m_path, "cannot read the file's times");
    }
    return signature;
}

std::optional<FileSignature> SignatureOfPath(const std::string& path) {
    CheckPathText(path);
    const HANDLE handle =
        CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    FileSignature signature;
    const bool known = SignatureOfHandle(handle, signature);
    CloseHandle(handle);
    return known ? std::optional<FileSignature>(signature) : std::nullopt;
}

std::int64_t FileClockNow() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return NanosecondsOfFileTime(
        static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime));
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    CheckPathText(path);
    const HANDLE handle = CreateFileW(
        WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    FileIdentity identity;
    const bool known = IdentityOfHandle(handle, identity);
    CloseHandle(handle);
    return known ? std::optional<FileIdentity>(identity) : std::nullopt;
}
#else
namespace {

FileIdentity IdentityOfStat(const struct stat& info) {
    FileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.number = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::uint64_t>(info.st_size);
    identity.links = static_cast<std::uint64_t>(info.st_nlink);
    if (S_ISREG(info.st_mode)) {
        identity.kind = FileKind::Regular;
    } else if (S_ISDIR(info.st_mode)) {
        identity.kind = FileKind::Directory;
    } else if (S_ISLNK(info.st_mode)) {
        identity.kind = FileKind::Link;
    } else if (S_ISFIFO(info.st_mode)) {
        identity.kind = FileKind::Fifo;
    }
    return identity;
}

} // namespace

FileIdentity FileStream::Identity() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        throw FileReadError(m_path, "cannot read which file this is: " + ErrnoText(errno));
    }
    return IdentityOfStat(info);
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return IdentityOfStat(info);
}

namespace {

std::int64_t Nanoseconds(const struct timespec& time) {
    return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

FileSignature SignatureOfStat(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
            Nanoseconds(info.st_ctim)};
}

} // namespace

FileSignature FileStream::Signature() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        throw FileReadError(m_path, "cannot read the file's times: " + ErrnoText(errno));
    }
    return SignatureOfStat(info);
}

std::optional<FileSignature> SignatureOfPath(const std::string& path) {
    CheckPathText(path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return SignatureOfStat(info);
}

std::int64_t FileClockNow() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}
#endif

} // namespace eitool
