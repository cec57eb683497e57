#include "common/FileSystem.h"

#include "common/Paths.h"
#include "common/RunError.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#else
#include "common/WindowsApi.h"
// NOTE: windows.h names its own function SetCurrentDirectory; ours keeps the name.
#undef SetCurrentDirectory
#endif

namespace fs = std::filesystem;

namespace eitool {

namespace {

fs::path Native(const std::string& path) {
    CheckPathText(path);
#ifdef _WIN32
    return fs::path(WidePath(path));
#else
    return fs::path(path);
#endif
}

// The native string of a path the system gave.
std::string TextOf(const fs::path& path) {
#ifdef _WIN32
    return AnsiPath(path.native());
#else
    return path.string();
#endif
}

} // namespace

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), length);
    return wide;
}

std::string AnsiPath(const std::wstring& path) {
    if (path.empty()) {
        return {};
    }
    const int size = static_cast<int>(path.size());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, path.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.data(), size, ansi.data(), length, nullptr, nullptr);
    return ansi;
}
#endif

void CheckPathText(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw UnsafePathError(path, "the path holds a NUL byte; nothing is done with it");
    }
}

EntryType EntryTypeOf(const std::string& path, bool followLinks) {
    CheckPathText(path);
    std::error_code error;
    const fs::file_status status =
        followLinks ? fs::status(Native(path), error) : fs::symlink_status(Native(path), error);
    switch (status.type()) {
    case fs::file_type::not_found:
    case fs::file_type::none:
        return EntryType::None;
    case fs::file_type::regular:
        return EntryType::RegularFile;
    case fs::file_type::directory:
        return EntryType::Directory;
    case fs::file_type::symlink:
        return EntryType::Link;
    default:
        return EntryType::Other;
    }
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    CheckPathText(path);
#ifndef _WIN32
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
#else
    const HANDLE handle =
        CreateFileW(Native(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!read) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow};
#endif
}

std::optional<FileIdentity> MakeRealDirectory(const std::string& path, const FileIdentity& parent) {
    CheckPathText(path);
#ifndef _WIN32
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            const bool link = EntryTypeOf(path) == EntryType::Link;
            throw UnsafePathError(path, link ? "is a link; nothing is written through it"
                                             : "is not a directory; nothing is written below it");
        }
        return std::nullopt;
    }
    struct stat own {};
    struct stat up {};
    const bool read = ::fstat(fd, &own) == 0 && ::fstatat(fd, "..", &up, 0) == 0;
    ::close(fd);
    if (!read) {
        return std::nullopt;
    }
    const FileIdentity parentSeen{static_cast<std::uint64_t>(up.st_dev),
                                  static_cast<std::uint64_t>(up.st_ino)};
    if (!parentSeen.SameFileAs(parent)) {
        throw UnsafePathError(path, "is not a directory inside its parent; nothing is written "
                                    "below it");
    }
    return FileIdentity{static_cast<std::uint64_t>(own.st_dev),
                        static_cast<std::uint64_t>(own.st_ino)};
#else
    // Windows: a junction or directory link is a reparse point; nothing goes through one.
    CreateDirectoryW(Native(path).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(Native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        throw UnsafePathError(path, "is a link; nothing is written through it");
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw UnsafePathError(path, "is not a directory; nothing is written below it");
    }
    const std::optional<FileIdentity> parentSeen = IdentityOf(path + "\\..");
    if (parentSeen && !parentSeen->SameFileAs(parent)) {
        throw UnsafePathError(path, "is not a directory inside its parent; nothing is written "
                                    "below it");
    }
    return IdentityOf(path);
#endif
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(Native(path), error));
}

bool IsDirectory(const std::string& path) {
    std::error_code error;
    return fs::is_directory(Native(path), error);
}

bool CreateDirectoryOne(const std::string& path) {
    std::error_code error;
    return fs::create_directory(Native(path), error);
}

bool CreateDirectories(const std::string& path) {
    std::error_code error;
    fs::create_directories(Native(path), error);
    return IsDirectory(path);
}

std::optional<std::string> CreateDirectoriesFailure(const std::string& path) {
    std::error_code error;
    fs::create_directories(Native(path), error);
    if (IsDirectory(path)) {
        return std::nullopt;
    }
    return error ? error.message() : std::string("it is not a directory");
}

void RemoveFileQuietly(const std::string& path) {
    std::error_code error;
    fs::remove(Native(path), error);
}

void RemoveTree(const std::string& path) {
    std::error_code error;
    fs::remove_all(Native(path), error);
    if (error) {
        throw FileWriteError(path, "cannot remove: " + error.message());
    }
}

void RenameFile(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::rename(Native(from), Native(to), error);
    if (error) {
        throw FileWriteError(to, "cannot replace the file: " + error.message());
    }
}

void SyncDirectory(const std::string& directory) {
#ifndef _WIN32
    CheckPathText(directory);
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    // Windows makes a rename durable without a handle on the directory.
    CheckPathText(directory);
#endif
}

namespace {

constexpr std::uint64_t kNoFreeSpaceCap = ~std::uint64_t{0};
std::atomic<std::uint64_t> freeSpaceCap{kNoFreeSpaceCap};

std::optional<std::uint64_t> FreeSpaceReported(const std::string& directory) {
#ifndef _WIN32
    struct statvfs info {};
    if (::statvfs(directory.empty() ? "." : directory.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return std::uint64_t{info.f_bavail} * info.f_frsize;
#else
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(WidePath(directory.empty() ? "." : directory).c_str(), &available,
                             nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
#endif
}

} // namespace

std::optional<std::uint64_t> FreeSpaceOf(const std::string& directory) {
    CheckPathText(directory);
    const std::optional<std::uint64_t> free = FreeSpaceReported(directory);
    const std::uint64_t cap = freeSpaceCap.load();
    if (cap == kNoFreeSpaceCap) {
        return free;
    }
    return free ? std::min(*free, cap) : cap;
}

void CapFreeSpaceForTests(std::optional<std::uint64_t> bytes) {
    freeSpaceCap.store(bytes.value_or(kNoFreeSpaceCap));
}

namespace {

[[noreturn]] void ThrowDirectoryInUse(const std::string& directory) {
    throw FileOpenError(directory,
                        "cannot write into the directory: it is in use by another process");
}

} // namespace

DirectoryLock::DirectoryLock(const std::string& directory) {
    CheckPathText(directory);
#ifndef _WIN32
    m_fd = ::open(directory.empty() ? "." : directory.c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        if (error == EWOULDBLOCK) {
            ThrowDirectoryInUse(directory);
        }
    }
#else
    const std::wstring wide = WidePath(JoinPath(directory, ".eitool-lock"));
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
            error == ERROR_ACCESS_DENIED) {
            // A lock file being deleted by the run that held it also refuses access.
            if (error != ERROR_ACCESS_DENIED || FileExists(JoinPath(directory, ".eitool-lock"))) {
                ThrowDirectoryInUse(directory);
            }
        }
        return;
    }
    m_handle = handle;
#endif
}

DirectoryLock::~DirectoryLock() {
#ifndef _WIN32
    if (m_fd >= 0) {
        ::close(m_fd);
    }
#else
    if (m_handle != nullptr) {
        CloseHandle(static_cast<HANDLE>(m_handle));
    }
#endif
}

std::string CurrentDirectory() {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    return error ? std::string() : TextOf(current);
}

std::string CanonicalPath(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(Native(path), error);
    return error ? std::string() : TextOf(resolved);
}

void SetCurrentDirectory(const std::string& directory) {
    std::error_code error;
    fs::current_path(Native(directory), error);
    if (error) {
        throw FileOpenError(directory, "cannot enter the directory: " + error.message());
    }
}

std::string AbsolutePath(const std::string& path) {
    CheckPathText(path);
    if (path.empty()) {
        return CurrentDirectory();
    }
    if (Native(path).is_absolute()) {
        return path;
    }
    std::string current = CurrentDirectory();
    if (!current.empty() && current.back() != static_cast<char>(fs::path::preferred_separator)) {
        current += static_cast<char>(fs::path::preferred_separator);
    }
    return current + path;
}

std::vector<DirectoryEntry> ListDirectory(const std::string& directory) {
    std::vector<DirectoryEntry> entries;
    std::error_code error;
    fs::directory_iterator it(Native(directory), fs::directory_options::skip_permission_denied,
                              error);
    if (error) {
        return entries;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        DirectoryEntry entry;
        entry.name = TextOf(it->path().filename());
        std::error_code typeError;
        entry.isDirectory = it->is_directory(typeError);
#ifdef _WIN32
        const DWORD attributes = GetFileAttributesW(it->path().c_str());
        entry.isHidden = attributes != INVALID_FILE_ATTRIBUTES &&
                         (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
#else
        entry.isHidden = !entry.name.empty() && entry.name.front() == '.';
#endif
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace eitool
