#pragma once

#include "run/RunContext.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// The names list of a pack as read: its bytes in one buffer and, for each line, where the line
// lies in it. Only the first lineLimit lines are kept, since no later line names a member, so a
// names list of millions of short lines costs its own bytes plus 8 per directory entry.
class NamesList {
public:
    NamesList(std::vector<std::uint8_t> bytes, std::size_t lineLimit);

    std::size_t size() const { return m_lines.size(); }
    // A view into the buffer, valid as long as the list.
    std::string_view operator[](std::size_t k) const;
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    // A member is at most 4 GiB - 1 bytes, so 32 bits reach every line.
    struct Line {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::vector<std::uint8_t> m_bytes;
    std::vector<Line> m_lines;
};

// Writes every non-empty member of the pack at path as a piece file below the target directory
// and appends one ResultLog line per directory entry (the piece path, or "NULL"). A pack with
// piece paths that an earlier source of the run wrote writes nothing and logs "NULL" for every
// entry (ClaimPieces). Piece files that hold their member's bytes are left as they are; edited
// ones are replaced only with the user's consent (AllowReplacingEdited). The pack is read under
// a shared lock, so an insertion into it is refused meanwhile.
void ExtractDataPack(RunContext& run, const std::string& path);

// Writes the pieces named by the entry lines from firstLine on back into the pack open as
// run.state.SourceStream, with new sizes and CRC-32s in its directory. All or nothing: a rollback
// journal beside the pack restores it if anything fails. Returns firstLine + N (the inserter
// contract: app/LogReplay.h).
std::int32_t InsertDataPack(RunContext& run, const std::string& name, std::int32_t firstLine);

// Whether the open file can be a data pack with a names list: its count reads, is larger than
// the names list's index, and its directory lies inside the file.
bool HoldsDataPack(FileStream& file);

// If an insertion into the pack at packPath was interrupted (its journal lies beside it), puts
// the pack back as it was before that insertion, adds a results line saying so and returns true.
// A journal written for another file, of an old format or damaged, or anything at the journal's
// name that is not a regular file, is left alone with a CorruptFileError naming it and the pack.
bool RecoverDataPack(RunContext& run, const std::string& packPath);

// The journal's file name: beside the pack file that packPath resolves to, links followed, so
// that every name of the pack finds the same journal.
std::string DataPackJournalPath(const std::string& packPath);

} // namespace eitool
