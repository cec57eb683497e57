#include "common/PendingFile.h"

#include <utility>

#include "common/FileSystem.h"
#include "common/RunError.h"

namespace eitool {

PendingFile::PendingFile(std::string target)
    : m_target(std::move(target)), m_temporary(m_target + ".eitool-new") {}

PendingFile::~PendingFile() {
    if (m_created && !m_committed) {
        RemoveFileQuietly(m_temporary);
    }
}

FileStream PendingFile::Create() {
    try {
        FileStream file = FileStream::Open(m_temporary, omCreate);
        m_created = true;
        return file;
    } catch (const FileError& error) {
        throw FileCreateError(m_target, std::string("cannot create the file (") + error.what() +
                                            ")");
    }
}

void PendingFile::WriteAll(std::span<const std::uint8_t> bytes) {
    FileStream file = Create();
    try {
        file.Write(bytes.data(), bytes.size());
    } catch (const FileError& error) {
        throw FileWriteError(m_target, std::string("cannot write the file (") + error.what() + ")");
    }
}

void PendingFile::Commit() {
    RenameFile(m_temporary, m_target);
    m_committed = true;
}

} // namespace eitool
