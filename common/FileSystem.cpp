#include "common/FileSystem.h"

#include "common/RunError.h"

#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace eitool {

namespace {

fs::path Native(const std::string& path) {
    return fs::path(path);
}

} // namespace

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
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)directory;
#endif
}

std::string CurrentDirectory() {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    return error ? std::string() : current.string();
}

std::string CanonicalPath(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(Native(path), error);
    return error ? std::string() : resolved.string();
}

void SetCurrentDirectory(const std::string& directory) {
    std::error_code error;
    fs::current_path(Native(directory), error);
    if (error) {
        throw FileOpenError(directory, "cannot enter the directory: " + error.message());
    }
}

std::string AbsolutePath(const std::string& path) {
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
        entry.name = it->path().filename().string();
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
