#pragma once

// Internal to the formats library: the rebuild of a data pack whose pieces grew beyond their
// members. Every member keeps its place in offset order; each one after a grown member moves by
// the growth so far, every growth rounded up to the pack's alignment; the gaps between members
// stay, members that share an offset keep sharing it, and the third field of an entry is never
// changed. The new pack is written beside the old one and renamed over it.

#include "common/FileStream.h"
#include "formats/DataPackLayout.h"
#include "formats/DataPackPieces.h"
#include "run/RunContext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace eitool::datapack {

// Where every member of a rebuilt pack goes, or why the pack cannot be rebuilt.
struct RebuildLayout {
    // Empty when the pack can be rebuilt; otherwise the reason, to follow the pack's path.
    std::string refusal;
    std::vector<std::uint32_t> offsets; // the new offset of every entry, in file order
    std::uint64_t oldSize = 0;
    std::uint64_t newSize = 0;
    std::uint32_t alignment = 1;
    std::uint32_t grownPieces = 0; // planned pieces longer than their members
    std::uint64_t grownBytes = 0;  // what they grew by, in all
    std::uint32_t moved = 0;       // non-empty members whose offset changes
};

// The largest power of two, at most 2048, that divides the offset of every non-empty member.
std::uint32_t PackAlignment(const std::vector<DataPackEntry>& entries);

// Works out the new places for the pieces of plan in the pack of fileSize bytes. Refused: members
// that overlap other than as identical entries, a member inside the count and the directory, and
// a pack that would pass 4 GiB.
RebuildLayout PlanRebuild(const Directory& directory, const std::vector<std::uint32_t>& order,
                          const std::vector<PlannedPiece>& plan, std::uint64_t fileSize);

// Why the open pack cannot be replaced by a rebuilt one of newSize bytes (more than one hard
// link, too little room on its disk beside the file it resolves to); empty when it can.
std::string RebuildRefusal(const FileStream& pack, std::uint64_t newSize);

// Writes the rebuilt pack beside the file that pack resolves to, makes it durable and renames it
// over that file. A failure or Stop on the way leaves the old pack and removes the new one.
// The directory is given its new offsets, sizes and CRC-32s.
void WriteRebuiltPack(RunContext& run, FileStream& pack, Directory& directory,
                      const std::vector<std::uint32_t>& order, const RebuildLayout& layout,
                      const std::vector<PlannedPiece>& plan);

// Removes what a rebuild killed before its rename left beside the pack; nothing else.
void RemoveLeftoverRebuild(const std::string& packPath);

// The name a rebuild writes the new pack under, beside the file that packPath resolves to.
std::string RebuildTemporaryPath(const std::string& packPath);

} // namespace eitool::datapack
