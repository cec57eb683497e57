#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace eitool::samples {

// One member of a sample data pack, in directory (file) order.
struct PackMember {
    std::string name;                    // its line in the names list (may carry a directory part)
    std::vector<std::uint8_t> data;      // its bytes; empty for an empty member (size 0)
    std::uint32_t third = 0;             // the uninterpreted third field of its entry
    std::optional<std::uint32_t> offset; // an explicit offset (for ties and odd orders);
                                         // otherwise laid out after the previous member's data
};

// One directory entry as stored in a pack.
struct PackEntry {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t third = 0;
    std::uint32_t crc = 0;
};

inline constexpr std::size_t kNamesListIndex = 2533;

// The bytes of a pack: the entry count, the directory, the member data. When there are more than
// kNamesListIndex members, the data of member kNamesListIndex is replaced by the names list: the
// members' names in the order the exchange sort gives their offsets, each ended by CR LF. Every
// entry carries the CRC-32 of its data.
std::vector<std::uint8_t> BuildPack(const std::vector<PackMember>& members);

// count members as a game would have them: names with directory parts, several extensions
// (.tga, .bin, .txt, .dat, .wav, none), some empty members, sizes around meanSize bytes; member
// kNamesListIndex is the names list. The .txt members are 8-bit text lines ended by CR LF (menu
// entries, dialogue, system messages or item descriptions, after the name's stem); the others
// are binary. The same seed gives the same members.
std::vector<PackMember> MakeRealisticMembers(std::uint32_t count, std::uint32_t seed,
                                             std::uint32_t meanSize = 512);

// Puts prefix before the file name of every member (after its last "\\", "/" or ":"), so that
// the pieces of two packs do not claim the same paths.
void PrefixNames(std::vector<PackMember>& members, const std::string& prefix);

// Reads the directory of pack bytes (for checks; the bytes must hold it).
std::vector<PackEntry> ReadPackDirectory(const std::vector<std::uint8_t>& pack);

} // namespace eitool::samples
