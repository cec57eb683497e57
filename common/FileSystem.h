#pragma once

#include "common/FileStream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace eitool {

// Every function here and in FileStream and PendingFile that takes a path refuses one holding a
// NUL byte with UnsafePathError before any file operation: the system would end the path there
// and act on another file.
void CheckPathText(const std::string& path);

#ifdef _WIN32
// Paths are strings of the system's ANSI code page; the wide functions of Windows take them in
// UTF-16. Both conversions happen here, at the file system, and nowhere above.
std::wstring WidePath(const std::string& path);
std::string AnsiPath(const std::wstring& path);
#endif

// What a directory entry is, its final link not followed.
enum class EntryType { None, RegularFile, Directory, Link, Other };
// With followLinks, what the final link leads to (None for a dangling link).
EntryType EntryTypeOf(const std::string& path, bool followLinks = false);

// The identity of what path names, links followed; none when it cannot be read.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Makes sure path is a real directory whose parent is the directory with identity parent:
// creates it when missing, then opens it without following a link. A link, a non-directory or a
// directory that is not the parent's child throws UnsafePathError naming path. Returns the
// directory's identity, or none when it could not be created (that shows when its files cannot
// be created).
std::optional<FileIdentity> MakeRealDirectory(const std::string& path, const FileIdentity& parent);

// Whether any entry of that path exists (file, directory, link; any attributes).
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Creates one directory; false if it could not be created (an existing one counts as failure).
bool CreateDirectoryOne(const std::string& path);
// Creates a directory with its missing parents; true if it exists afterwards.
bool CreateDirectories(const std::string& path);
// The same, but the system's reason when the directory does not exist afterwards ("Permission
// denied", "Not a directory" ...); none when it does.
std::optional<std::string> CreateDirectoriesFailure(const std::string& path);
// Removes a file if it exists; throws only for a path with a NUL byte.
void RemoveFileQuietly(const std::string& path);
// Removes a file or a directory with everything below it; throws FileWriteError.
void RemoveTree(const std::string& path);
// Renames (replacing the target); throws FileWriteError.
void RenameFile(const std::string& from, const std::string& to);
// Makes a rename or creation inside the directory durable; failures are ignored.
void SyncDirectory(const std::string& directory);

// The bytes that an unprivileged writer may still put into the file system that holds directory;
// none when the system does not say.
std::optional<std::uint64_t> FreeSpaceOf(const std::string& directory);
// Lets tests see a full disk without filling one: FreeSpaceOf reports at most bytes from now on;
// none lifts the cap.
void CapFreeSpaceForTests(std::optional<std::uint64_t> bytes);

// The lock one run of this tool holds on the directory it writes into, for its whole length, so
// that two runs never mix their outputs in one directory. Linux takes an exclusive flock on the
// directory itself; Windows keeps a hidden file ".eitool-lock" in it, open without sharing and
// removed when closed. Like the lock on a data pack it holds between runs of this tool only.
class DirectoryLock {
public:
    // Throws FileOpenError naming the directory, with "it is in use by another process", when
    // another run holds the lock. A directory that cannot be opened is not locked: the run then
    // fails, or goes on, as it would without the lock.
    explicit DirectoryLock(const std::string& directory);
    ~DirectoryLock();
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

std::string CurrentDirectory();
// The path with every link and "." / ".." resolved; empty when it cannot be resolved.
std::string CanonicalPath(const std::string& path);

// Throws FileOpenError when the directory cannot be entered.
void SetCurrentDirectory(const std::string& directory);
// path made absolute by putting the current directory in front when it is relative; no other
// change.
std::string AbsolutePath(const std::string& path);

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    bool isHidden = false; // Linux: the name begins with "."; Windows: hidden or system attribute
};

// The entries of a directory other than "." and "..", in the order the file system gives them.
// A directory that cannot be read gives an empty list.
std::vector<DirectoryEntry> ListDirectory(const std::string& directory);

} // namespace eitool
