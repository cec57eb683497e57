#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/FileStream.h"

namespace eitool {

// A file written beside its target under a temporary name (target + ".eitool-new"). Commit
// renames it over the target; one that is never committed is removed, so a failure leaves the
// old target or none, never a half-written one. Errors name the target, not the temporary file.
class PendingFile {
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& Target() const { return m_target; }
    const std::string& TemporaryPath() const { return m_temporary; }

    // Creates (or truncates) the temporary file and opens it for reading and writing.
    FileStream Create();
    // Creates the temporary file holding exactly bytes.
    void WriteAll(std::span<const std::uint8_t> bytes);
    // Renames the temporary file over the target.
    void Commit();

private:
    std::string m_target;
    std::string m_temporary;
    bool m_created = false;
    bool m_committed = false;
};

} // namespace eitool
