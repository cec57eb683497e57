#include "samples/SamplePack.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "formats/Crc32.h"
#include "formats/ExchangeSort.h"

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <utility>

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

// The texts of a game, by kind: menu entries, dialogue lines, system messages and item
// descriptions, each line built from these parts.
enum class TextKind { Menu, Dialogue, System, Items };

template <typename Table> const char* Pick(std::mt19937& random, const Table& table) {
    return table[random() % table.size()];
}

std::string MenuLine(std::mt19937& random) {
    static constexpr std::array<const char*, 12> kTitleMenu = {
        "New Game",         "Continue",        "Load Game",     "Options",
        "Sound: Stereo",    "Sound: Mono",     "Vibration: On", "Vibration: Off",
        "Controller Setup", "Screen Position", "Subtitles: On", "Difficulty: Normal"};
    static constexpr std::array<const char*, 12> kFieldMenu = {
        "Items",     "Equipment", "Magic",  "Status",          "Formation", "Bestiary",
        "Quest Log", "Save Game", "Cancel", "Return to Title", "Quit",      "Yes / No"};
    static constexpr std::array<const char*, 4> kNumbered = {"Chapter", "Slot", "Page", "Floor"};
    switch (random() % 4) {
    case 0: {
        const std::string entry = Pick(random, kNumbered);
        return entry + " " + std::to_string(1 + random() % 12);
    }
    case 1:
        return Pick(random, kTitleMenu);
    default:
        return Pick(random, kFieldMenu);
    }
}

std::string DialogueLine(std::mt19937& random) {
    static constexpr std::array<const char*, 8> kSpeakers = {
        "MIRA", "OLD TOMAS", "CAPTAIN RELL", "GUARD", "INNKEEPER", "KAEL", "SISTER ANE", "???"};
    // Each opening with the mark that ends its sentence.
    static constexpr std::array<std::pair<const char*, const char*>, 8> kOpenings = {
        {{"We have to reach", "."},
         {"I can't find", "..."},
         {"Did you see", "?"},
         {"You should not go near", "!"},
         {"Nobody has been to", " in years."},
         {"Let's head for", "!"},
         {"They are waiting at", "."},
         {"Is this really", "?"}}};
    static constexpr std::array<const char*, 8> kPlaces = {
        "the harbour", "the old mill",   "the northern gate", "the king's library",
        "Elm Hollow",  "the lighthouse", "the mountain pass", "the sunken shrine"};
    // One draw a statement, so that the order of the draws is fixed.
    const std::string speaker = Pick(random, kSpeakers);
    const auto& [opening, end] = kOpenings[random() % kOpenings.size()];
    const std::string place = Pick(random, kPlaces);
    return speaker + ": " + opening + " " + place + end;
}

std::string SystemLine(std::mt19937& random) {
    static constexpr std::array<const char*, 10> kMessages = {
        "Saving. Do not remove the memory card or switch off the console.",
        "Load complete.",
        "There is not enough free space on the memory card.",
        "Insert a memory card into MEMORY CARD slot 1.",
        "The controller is disconnected. Please reconnect it.",
        "Overwrite this save file?",
        "The save data is damaged and cannot be loaded.",
        "Checking the memory card...",
        "Game saved.",
        "Press the START button"};
    if (random() % 5 == 0) {
        const std::string slot = std::to_string(1 + random() % 8);
        const std::string chapter = std::to_string(1 + random() % 12);
        const std::string hours = std::to_string(random() % 100);
        const std::string minutes = std::to_string(10 + random() % 50);
        return "Slot " + slot + ": Chapter " + chapter + ", " + hours + " h " + minutes + " min";
    }
    return Pick(random, kMessages);
}

std::string ItemLine(std::mt19937& random) {
    static constexpr std::array<const char*, 8> kMaterials = {"Iron",    "Silver", "Oak",   "Bone",
                                                              "Crystal", "Ember",  "Frost", "Old"};
    static constexpr std::array<const char*, 8> kItems = {"Sword", "Shield", "Ring",   "Bow",
                                                          "Helm",  "Staff",  "Amulet", "Boots"};
    static constexpr std::array<const char*, 6> kSayings = {
        "A plain but sturdy piece.", "Said to have belonged to a hero.", "Light and easy to carry.",
        "Hums softly in the dark.",  "Sold in every harbour town.",      "Cold to the touch."};
    static constexpr std::array<const char*, 5> kStats = {"Attack", "Defence", "Magic", "Speed",
                                                          "Luck"};
    const std::string material = Pick(random, kMaterials);
    const std::string item = Pick(random, kItems);
    const std::string saying = Pick(random, kSayings);
    const std::string stat = Pick(random, kStats);
    const std::string bonus = std::to_string(1 + random() % 40);
    return material + " " + item + ": " + saying + " " + stat + " +" + bonus;
}

TextKind KindOfStem(const std::string& stem) {
    if (stem == "menu") {
        return TextKind::Menu;
    }
    if (stem == "event" || stem == "voice" || stem == "face") {
        return TextKind::Dialogue;
    }
    if (stem == "system" || stem == "readme") {
        return TextKind::System;
    }
    return TextKind::Items;
}

// Text lines of one kind, each ended by CR LF, until about size bytes: a line is taken while
// it ends no more than half its length past size, and there is always at least one.
std::vector<std::uint8_t> TextMember(TextKind kind, std::uint32_t size, std::mt19937& random) {
    std::vector<std::uint8_t> text;
    while (true) {
        std::string line = kind == TextKind::Menu       ? MenuLine(random)
                           : kind == TextKind::Dialogue ? DialogueLine(random)
                           : kind == TextKind::System   ? SystemLine(random)
                                                        : ItemLine(random);
        line += "\r\n";
        if (!text.empty() && text.size() + line.size() / 2 > size) {
            return text;
        }
        text.insert(text.end(), line.begin(), line.end());
    }
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
        const std::string stem = kStems[random() % kStems.size()];
        const std::string extension = kExtensions[random() % kExtensions.size()];
        member.name = std::string(kFolders[random() % kFolders.size()]) + stem + std::to_string(i) +
                      extension;
        member.third = random();
        if (percent(random) < 3) {
            continue; // an empty member
        }
        const std::uint32_t size = std::max<std::uint32_t>(1, sizeOf(random));
        if (extension == ".txt") {
            member.data = TextMember(KindOfStem(stem), size, random);
            continue;
        }
        member.data.resize(size);
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

void PrefixNames(std::vector<PackMember>& members, const std::string& prefix) {
    for (PackMember& member : members) {
        const std::size_t slash = member.name.find_last_of("\\/:");
        member.name.insert(slash == std::string::npos ? 0 : slash + 1, prefix);
    }
}

} // namespace eitool::samples
