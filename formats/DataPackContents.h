#pragma once

#include "common/FileStream.h"
#include "formats/DataPack.h"
#include "formats/DataPackLayout.h"
#include "run/RunState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// What a pack's directory and names list say about its members, read without trusting them:
// members that lie outside the file are kept as they are, for the caller to report.
struct DataPackContents {
    std::uint64_t fileSize = 0;
    std::vector<DataPackEntry> entries; // file order
    std::vector<std::uint32_t> order;   // order[k]: the file index of position k in offset order
    // Absent when the pack has no names list entry or its names list lies outside the file.
    std::optional<NamesList> names;
};

// Reads the count, the directory and the names list. A file too short for its count or its
// directory is a CorruptFileError, raised before anything is allocated for it.
DataPackContents ReadDataPackContents(FileStream& pack);

// The file-name part of names line k; empty when the names list has no such line.
std::string MemberName(const DataPackContents& contents, std::uint32_t k);

// folder + separator + index + "_" + name, where the folder is the name's extension in upper
// case (empty without one) and the index is the position k in hexadecimal of digits digits.
std::string RelativePieceName(std::string_view namesLine, std::uint32_t k, int digits);

// The path that an extraction with state's target would give the piece at position k, whose
// name is MemberName(contents, k); empty for an empty member, a member without a names line, or
// a name that would leave the target.
std::string MemberPiecePath(const RunState& state, const std::string& packPath,
                            const DataPackContents& contents, std::uint32_t k,
                            const std::string& name);

// For every position k in offset order: the bytes between the end of its member and the next
// non-empty member in offset order (the end of the file after the last); 0 where they overlap.
std::vector<std::uint64_t> FreeAfterMembers(const std::vector<DataPackEntry>& entries,
                                            const std::vector<std::uint32_t>& order,
                                            std::uint64_t fileSize);

enum class MemberCrc { Ok, Bad, Empty, Outside };

struct MemberCheck {
    MemberCrc state = MemberCrc::Empty;
    std::uint32_t crc = 0; // the CRC-32 of the member's bytes (Ok and Bad)
};

// "ok", "bad" (a member outside the file too) or "empty".
const char* CrcStateName(MemberCrc state);

// Whether the non-empty members inside the file add up to at most the output limit of the pack
// (crafted packs point many entries at the same bytes); only then are their CRC-32s worked out.
bool MembersWithinCheckLimit(const DataPackContents& contents);

// The CRC state of every member, by position in offset order. The pack is read front to back
// in large blocks, each read once however many members it holds.
std::vector<MemberCheck> CheckMembers(FileStream& pack, const DataPackContents& contents);

} // namespace eitool
