#include "samples/SamplePack.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "formats/Crc32.h"
#include "formats/ExchangeSort.h"

#include <algorithm>
#include <array>
#include <random>

namespace eitool::samples {

namespace {

constexpr std::uint64_t kDirectoryOffset = 4;
constexpr std::uint64_t kEntrySize = 16;

// The size of the names list: every name and its CR LF, whatever order they end up in.
std::uint32_t NamesListSize(const std::vector<PackMember>& members) {
    std::uint64_t size = 0;
    for (const auto& member : members) {
        size += member.name.size() + 2;
    }
    return static_cast<std::uint32_t>(size);
}

std::vector<std::uint8_t> NamesListText(const std::vector<PackMember>& members,
                                        const std::vector<PackEntry>& entries) {
    std::vector<std::uint32_t> offsets;
    offsets.reserve(entries.size());
    for (const auto& entry : entries) {
        offsets.push_back(entry.offset);
    }
    std::vector<std::uint8_t> text;
    for (const std::uint32_t index : ExchangeSortOrder(offsets)) {
        const std::string& name = members[index].name;
        text.insert(text.end(), name.begin(), name.end());
        text.push_back('\r');
        text.push_back('\n');
    }
    return text;
}

// Offsets and sizes of every member: an explicit offset is kept, any other member follows the
// data laid out so far. Empty members never move the layout on.
std::vector<PackEntry> LayOut(const std::vector<PackMember>& members) {
    const bool hasNames = members.size() > kNamesListIndex;
    std::uint64_t cursor = kDirectoryOffset + kEntrySize * members.size();
    std::vector<PackEntry> entries(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const PackMember& member = members[i];
        PackEntry& entry = entries[i];
        entry.size = (hasNames && i == kNamesListIndex)
                         ? NamesListSize(members)
                         : static_cast<std::uint32_t>(member.data.size());
        entry.offset = member.offset.value_or(static_cast<std::uint32_t>(cursor));
        entry.third = member.third;
        if (entry.size != 0) {
            cursor = std::max<std::uint64_t>(cursor, std::uint64_t{entry.offset} + entry.size);
        }
    }
    return entries;
}

} // namespace

std::vector<std::uint8_t> BuildPack(const std::vector<PackMember>& members) {
    std::vector<PackEntry> entries = LayOut(members);
    const bool hasNames = members.size() > kNamesListIndex;
    const std::vector<std::uint8_t> names =
        hasNames ? NamesListText(members, entries) : std::vector<std::uint8_t>();

    std::uint64_t end = kDirectoryOffset + kEntrySize * members.size();
    for (const auto& entry : entries) {
        if (entry.size != 0) {
            end = std::max<std::uint64_t>(end, std::uint64_t{entry.offset} + entry.size);
        }
    }
    std::vector<std::uint8_t> pack(static_cast<std::size_t>(end), 0);
    StoreU32le(pack, 0, static_cast<std::uint32_t>(members.size()));
    for (std::size_t i = 0; i < members.size(); ++i) {
        PackEntry& entry = entries[i];
        const std::vector<std::uint8_t>& data =
            (hasNames && i == kNamesListIndex) ? names : members[i].data;
        if (!data.empty()) {
            std::copy(data.begin(), data.end(), pack.begin() + entry.offset);
        }
        entry.crc = Crc32Update(0, data);
        const std::size_t at = kDirectoryOffset + kEntrySize * i;
        StoreU32le(pack, at, entry.offset);
        StoreU32le(pack, at + 4, entry.size);
        StoreU32le(pack, at + 8, entry.third);
        StoreU32le(pack, at + 12, entry.crc);
    }
    return pack;
}

std::vector<PackMember> MakeRealisticMembers(std::uint32_t count, std::uint32_t seed,
                                             std::uint32_t meanSize) {
    static constexpr std::array<const char*, 8> kFolders = {
        "data\\ui\\", "data\\maps\\", "snd/", "sys:", "", "script\\event\\", "fonts/", "",
    };
    static constexpr std::array<const char*, 10> kStems = {
        "logo", "bgm", "map", "event", "readme", "font", "menu", "face", "voice", "system",
    };
    static constexpr std::array<const char*, 10> kExtensions = {
        ".tga", ".bin", ".txt", ".dat", ".wav", "", ".TGA", ".Bin", ".DAT", ".txt",
    };

    std::mt19937 random(seed);
    const std::uint32_t low = meanSize / 2;
    const std::uint32_t high = meanSize + meanSize / 2;
    std::uniform_int_distribution<std::uint32_t> sizeOf(low, std::max(low, high));
    std::uniform_int_distribution<int> percent(0, 99);

    std::vector<PackMember> members(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        PackMember& member = members[i];
        if (i == kNamesListIndex) {
            member.name = "filelist.txt"; // BuildPack fills in its data
            continue;
        }
        member.name = std::string(kFolders[random() % kFolders.size()]) +
                      kStems[random() % kStems.size()] + std::to_string(i) +
                      kExtensions[random() % kExtensions.size()];
        member.third = random();
        if (percent(random) < 3) {
            continue; // an empty member
        }
        member.data.resize(std::max<std::uint32_t>(1, sizeOf(random)));
        for (std::size_t at = 0; at < member.data.size(); at += 4) {
            const std::uint32_t word = random();
            for (std::size_t b = 0; b < 4 && at + b < member.data.size(); ++b) {
                member.data[at + b] = static_cast<std::uint8_t>(word >> (8 * b));
            }
        }
    }
    return members;
}

std::vector<PackEntry> ReadPackDirectory(const std::vector<std::uint8_t>& pack) {
    ByteReader reader(pack);
    const std::uint32_t count = reader.U32le();
    std::vector<PackEntry> entries;
    entries.reserve(std::min<std::size_t>(count, reader.Remaining() / kEntrySize));
    for (std::uint32_t i = 0; i < count; ++i) {
        PackEntry entry;
        entry.offset = reader.U32le();
        entry.size = reader.U32le();
        entry.third = reader.U32le();
        entry.crc = reader.U32le();
        entries.push_back(entry);
    }
    return entries;
}

} // namespace eitool::samples
