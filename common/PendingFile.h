#pragma once

#include "common/FileStream.h"
#include "common/WriteHook.h"

#include <cstdint>
#include <span>
#include <string>

namespace eitool {

// A file written beside its target under a temporary name (target + ".eitool-new") and renamed
// over the target when complete. Commit makes the bytes durable, calls the write hook with the
// target, renames and makes the rename durable. One that is never committed is removed, so a
// failure leaves the old target (or none) and no temporary file. Errors name the target.
// The temporary is created new, never through a link; the rename replaces the target name
// itself, so a link there is replaced and what it pointed to is left alone.
class PendingFile {
public:
    explicit PendingFile(std::string target, WriteHook* hook = nullptr);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The temporary name beside a target.
    static std::string TemporaryPathOf(const std::string& target);

    const std::string& Target() const { return m_target; }
    const std::string& TemporaryPath() const { return m_temporary; }

    // Creates the temporary file (a stale plain one is removed first), open for reading and
    // writing until Commit.
    FileStream& Create();
    // Creates the temporary file holding exactly bytes.
    void WriteAll(std::span<const std::uint8_t> bytes);
    // Syncs the temporary file, calls the hook and renames the file over the target.
    void Commit();
    // Commit without the sync of the directory, for a writer of several files in one directory
    // that syncs it (SyncDirectory) once after the last of them.
    void CommitWithoutDirectorySync();
    // Commit without any sync, for the many pieces of an extraction, where a sync per file would
    // cost more than the extraction itself: a process that ends at any moment still leaves the
    // target complete or absent, but after a power cut the new name may hold an empty file.
    void CommitWithoutSync();

private:
    void Rename();

    std::string m_target;
    std::string m_temporary;
    WriteHook* m_hook = nullptr;
    FileStream m_file;
    bool m_created = false;
    bool m_committed = false;
};

// Replaces target with a file holding exactly bytes, through a pending file.
void ReplaceFile(const std::string& target, std::span<const std::uint8_t> bytes,
                 WriteHook* hook = nullptr);

} // namespace eitool
