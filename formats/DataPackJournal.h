#pragma once

// Internal to the formats library: the rollback journal of an insertion into a data pack.

#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "formats/DataPackLayout.h"
#include "run/RunContext.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace eitool::datapack {

// A range of the pack that an insertion overwrites.
struct JournalRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

class JournalWriter;

// Writes the journal of an insertion while its ranges are found, before the pack is touched:
// the pack's identity and size, its directory as stored (directoryBytes) and the old bytes of
// every range, read as the range is added. The file is created at the first Add (or at Commit),
// under a temporary name; Commit makes it durable under its final name, and one that is never
// committed is removed.
class JournalStream {
public:
    JournalStream(RunContext& run, FileStream& pack, std::span<const std::uint8_t> directoryBytes,
                  std::string journalPath);
    JournalStream(const JournalStream&) = delete;
    JournalStream& operator=(const JournalStream&) = delete;
    ~JournalStream();

    // Adds the range of length bytes at offset, with the pack's bytes there now.
    void Add(std::uint64_t offset, std::uint64_t length);
    // Completes the journal; returns the identity of the journal file.
    FileIdentity Commit();

private:
    void Start();

    RunContext& m_run;
    FileStream& m_pack;
    std::span<const std::uint8_t> m_directoryBytes;
    std::string m_journalPath;
    std::unique_ptr<PendingFile> m_pending;
    std::unique_ptr<JournalWriter> m_writer;
    FileIdentity m_identity;
    std::uint32_t m_count = 0;
};

// Writes the journal of the ranges given at once, durable under its final name: the pack's
// identity and size, its directory as stored (directoryBytes) and the old bytes of every range.
// Returns the identity of the journal file. Insertion itself uses JournalStream; this serves only
// the tests and the fuzzers' seeds, which need a real journal of chosen ranges.
FileIdentity WriteJournal(RunContext& run, FileStream& pack,
                          std::span<const std::uint8_t> directoryBytes,
                          const std::vector<JournalRange>& ranges, const std::string& journalPath);

// Puts the pack back as the journal recorded it, after checking that the journal is a regular
// file written for this very pack and checking the whole of it. Returns the journal's identity.
FileIdentity RestoreFromJournal(RunContext& run, FileStream& pack, const std::string& journalPath);

// Removes the journal of a finished (or undone) insertion, provided the path still names the
// journal file that was written or checked.
void RemoveJournal(const std::string& journalPath, const FileIdentity& journal);

// Restores the open pack when a journal lies beside it and reports it; true if it did. A file at
// the journal's name that is not a journal of this pack is left alone, with a CorruptFileError.
bool RecoverOpenPack(RunContext& run, FileStream& pack);

// Whether anything (a journal, complete or not, or another entry) lies at the journal's names.
bool JournalLeftBeside(const std::string& packPath);

} // namespace eitool::datapack
