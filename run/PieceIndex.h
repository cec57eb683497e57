#pragma once

#include "common/FileStream.h"
#include "common/WriteHook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// The index of a result log: for the pieces its lines name, the signature each piece had when its
// CRC-32 was last summed, and that CRC-32, so that an insertion takes the CRC-32 of a piece whose
// signature is unchanged from the index instead of reading the piece. It is a cache: kept in a
// file beside the log (PieceIndexPath), and a missing, foreign or damaged one only costs the time
// of reading every piece.
//
// A signature is recorded only when it is not racy: when the piece's modification and change
// times lay further than the margin before the moment it was taken. A write in the same tick of
// the file system's clock as an earlier one can leave both times as they were; a piece whose times
// were that close to the moment it was summed may have changed after it without a sign.
class PieceIndex {
public:
    // NOTE: 2 s is the coarsest granularity among the file systems a work folder may be on (FAT
    // keeps modification times in steps of 2 s); ext4, NTFS and the others step in nanoseconds
    // to milliseconds, so the margin costs nothing but the pieces written in the last 2 s.
    static constexpr std::int64_t kRacyMargin = std::int64_t{2'000'000'000};

    struct Entry {
        std::uint64_t key = 0; // KeyOf the piece's path
        FileSignature signature;
        std::uint32_t crc = 0;
    };

    explicit PieceIndex(std::int64_t racyMargin = kRacyMargin) : m_racyMargin(racyMargin) {}

    // The index beside the log at logPath, the log being the file of identity log. Missing,
    // damaged (its checksum, its length or its order of entries), of another version, or made
    // for another log (another path or another file): an empty index.
    static PieceIndex Load(const std::string& logPath, const FileIdentity& log,
                           std::int64_t racyMargin = kRacyMargin);

    // Whether any entry is held for path: only then is its signature worth asking for.
    bool Holds(std::string_view path) const;
    // The CRC-32 recorded for the piece at path when its entry holds exactly this signature.
    // Safe to call from several threads at once while nothing is recorded.
    std::optional<std::uint32_t> Lookup(std::string_view path,
                                        const FileSignature& signature) const;

    // Records the CRC-32 of the piece at path, summed from its bytes after the signature was
    // taken at the moment takenAt (FileClockNow). A racy signature is not recorded.
    void Record(std::string_view path, const FileSignature& signature, std::uint32_t crc,
                std::int64_t takenAt);

    // Writes the index beside the log through a pending file: the entries loaded, replaced by
    // those recorded since. The file system's clock is read from the new file itself, so that one
    // running behind this machine's clock (a file server) cannot make a racy entry look old.
    void Save(const std::string& logPath, const FileIdentity& log, WriteHook* hook) const;

    // Whether the index written now would tell more than the one loaded: a recording that is not
    // racy and is not what the index held already.
    bool HasNews() const;

    static std::uint64_t KeyOf(std::string_view path);

private:
    struct Recording {
        Entry entry;
        std::int64_t takenAt = 0;
    };

    const Entry* Find(std::string_view path) const;

    std::int64_t m_racyMargin;
    std::vector<Entry> m_loaded; // sorted by key, one entry per key
    std::vector<Recording> m_recorded;
};

// The name of the index beside a log: the log's name + ".eitool-index".
std::string PieceIndexPath(const std::string& logPath);

} // namespace eitool
