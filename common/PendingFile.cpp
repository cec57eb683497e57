#include "common/PendingFile.h"

#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"

#include <cassert>
#include <optional>
#include <utility>

namespace eitool {

PendingFile::PendingFile(std::string target, WriteHook* hook)
    : m_target(std::move(target)), m_temporary(TemporaryPathOf(m_target)), m_hook(hook) {
    CheckPathText(m_target);
}

PendingFile::~PendingFile() {
    if (m_created && !m_committed) {
        m_file.Close();
        RemoveFileQuietly(m_temporary);
    }
}

std::string PendingFile::TemporaryPathOf(const std::string& target) {
    return target + ".eitool-new";
}

FileStream& PendingFile::Create() {
    try {
        std::optional<FileStream> file;
        try {
            file = FileStream::Open(m_temporary, omCreateNew);
        } catch (const FileCreateError&) {
            // A temporary left by a run that was killed is a plain file and goes; anything else
            // under that name (a link, a FIFO) stays and makes the creation fail.
            if (EntryTypeOf(m_temporary) != EntryType::RegularFile) {
                throw;
            }
            RemoveFileQuietly(m_temporary);
            file = FileStream::Open(m_temporary, omCreateNew);
        }
        m_file = std::move(*file);
        m_created = true;
        return m_file;
    } catch (const FileError& error) {
        throw FileCreateError(m_target,
                              std::string("cannot create the file (") + error.what() + ")");
    }
}

void PendingFile::WriteAll(std::span<const std::uint8_t> bytes) {
    FileStream& file = Create();
    try {
        file.Write(bytes.data(), bytes.size());
    } catch (const FileError& error) {
        throw FileWriteError(m_target, std::string("cannot write the file (") + error.what() + ")");
    }
}

void PendingFile::Commit() {
    CommitWithoutDirectorySync();
    SyncDirectory(DirectoryPart(m_target));
}

void PendingFile::CommitWithoutDirectorySync() {
    assert(m_created && !m_committed);
    try {
        m_file.Flush();
        m_file.Close();
    } catch (const FileError& error) {
        throw FileWriteError(m_target, std::string("cannot write the file (") + error.what() + ")");
    }
    Rename();
}

void PendingFile::CommitWithoutSync() {
    assert(m_created && !m_committed);
    m_file.Close();
    Rename();
}

void PendingFile::Rename() {
    CallWriteHook(m_hook, m_target);
    RenameFile(m_temporary, m_target);
    m_committed = true;
}

void ReplaceFile(const std::string& target, std::span<const std::uint8_t> bytes, WriteHook* hook) {
    PendingFile file(target, hook);
    file.WriteAll(bytes);
    file.Commit();
}

} // namespace eitool
