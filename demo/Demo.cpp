#include "demo/Demo.h"
#include "demo/DemoSupport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "app/TMainForm.h"
#include "app/RunSummary.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "samples/SamplePack.h"

namespace eitool::demo {

namespace {



// A directory holding this file was made by the demo, and the next demo may clear it.
constexpr const char* kMarkerName = ".eitool-demo";

std::string_view MemberBytes(const Bytes& pack, const samples::PackEntry& entry) {
    return {reinterpret_cast<const char*>(pack.data()) + entry.offset, entry.size};
}

// ---------------------------------------------------------------------------------------------
// Data packs: a realistic pack is extracted, three pieces are edited (one shorter, one of the
// same size, one grown), the result log is inserted, and the pack is compared byte for byte with
// what it must now hold.

enum class EditKind { Shorter, SameSize, Grown };

struct PieceEdit {
    EditKind kind;
    std::string piecePath;
    std::uint32_t member = 0; // file-order index of its directory entry
    Bytes before;
    Bytes after;
};

constexpr std::uint32_t kDemoMembers = 3200;
constexpr std::uint32_t kDemoSeed = 20240601;
constexpr std::string_view kGrowth = " [edited by demo]";

std::string DescribeMembers(const std::vector<samples::PackMember>& members,
                            std::size_t packSize) {
    std::size_t empty = 0;
    std::size_t withDirectory = 0;
    std::set<std::string> extensions;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].data.empty() && i != samples::kNamesListIndex) {
            ++empty;
        }
        if (members[i].name.find_first_of("\\/:") != std::string::npos) {
            ++withDirectory;
        }
        extensions.insert(UpperAscii(ExtensionPart(GameNamePart(members[i].name))));
    }
    std::string list;
    for (const std::string& extension : extensions) {
        list += (list.empty() ? "" : " ") + (extension.empty() ? std::string("(none)") : extension);
    }
    return std::to_string(members.size()) + " members (" + std::to_string(empty) + " empty, " +
           std::to_string(withDirectory) + " names with directory parts, extensions " + list +
           "), " + BytesText(packSize);
}

// Picks three pieces to edit from the extraction's entry lines: pieces of at least 8 bytes
// whose content no other member has, so that each is tied to its member by content alone and
// the check does not lean on the order the extractor used.
std::vector<PieceEdit> ChoosePieces(const TextLines& entryLines, const Bytes& pack,
                                    const std::vector<samples::PackEntry>& directory) {
    std::unordered_map<std::string_view, std::vector<std::uint32_t>> byContent;
    for (std::uint32_t i = 0; i < directory.size(); ++i) {
        if (directory[i].size > 0) {
            byContent[MemberBytes(pack, directory[i])].push_back(i);
        }
    }
    std::vector<PieceEdit> edits;
    const EditKind kinds[] = {EditKind::Shorter, EditKind::SameSize, EditKind::Grown};
    for (int n = 0; n < 3; ++n) {
        const std::size_t from = entryLines.size() * static_cast<std::size_t>(n + 1) / 4;
        for (std::size_t k = from; k < entryLines.size(); ++k) {
            const std::string& line = entryLines[k];
            if (line == "NULL" || !FileExists(line)) {
                continue;
            }
            Bytes before = ReadWholeFile(line);
            if (before.size() < 8) {
                continue;
            }
            const auto found = byContent.find(std::string_view(
                reinterpret_cast<const char*>(before.data()), before.size()));
            if (found == byContent.end() || found->second.size() != 1 ||
                found->second[0] == samples::kNamesListIndex) {
                continue;
            }
            PieceEdit edit{kinds[n], line, found->second[0], before, before};
            if (kinds[n] == EditKind::Shorter) {
                edit.after.resize(before.size() / 2);
            } else if (kinds[n] == EditKind::SameSize) {
                for (std::uint8_t& byte : edit.after) {
                    byte ^= 0xA5;
                }
            } else {
                edit.after.insert(edit.after.end(), kGrowth.begin(), kGrowth.end());
            }
            edits.push_back(std::move(edit));
            break;
        }
    }
    return edits;
}

std::string DescribeEdit(const PieceEdit& edit, const std::string& base) {
    const std::string name = RelativeTo(edit.piecePath, base);
    switch (edit.kind) {
    case EditKind::Shorter:
        return name + " shorter (" + std::to_string(edit.before.size()) + " -> " +
               std::to_string(edit.after.size()) + " bytes)";
    case EditKind::SameSize:
        return name + " same size (" + std::to_string(edit.after.size()) + " bytes changed)";
    case EditKind::Grown:
        return name + " grown by " + std::to_string(edit.after.size() - edit.before.size()) +
               " bytes";
    }
    return name;
}

// The pack as the insertion must leave it: the pieces that fit written over their members'
// first bytes (the rest of a shrunk member stays), their entries with new sizes and CRC-32s,
// and every other byte as it was.
Bytes ExpectedPack(const Bytes& original, const std::vector<samples::PackEntry>& directory,
                   const std::vector<PieceEdit>& edits) {
    Bytes expected = original;
    for (const PieceEdit& edit : edits) {
        if (edit.kind == EditKind::Grown) {
            continue;
        }
        const samples::PackEntry& entry = directory[edit.member];
        std::copy(edit.after.begin(), edit.after.end(),
                  expected.begin() + static_cast<std::ptrdiff_t>(entry.offset));
        const std::size_t at = 4 + 16 * static_cast<std::size_t>(edit.member);
        StoreU32le(expected, at + 4, static_cast<std::uint32_t>(edit.after.size()));
        StoreU32le(expected, at + 12, Crc32Reference(edit.after));
    }
    return expected;
}

// Names what differs between the pack on disk and the expected one.
std::vector<std::string> ComparePacks(const Bytes& actual, const Bytes& expected,
                                      const std::vector<samples::PackEntry>& directory) {
    std::vector<std::string> problems;
    if (actual.size() != expected.size()) {
        problems.push_back("pack size " + std::to_string(actual.size()) + " instead of " +
                           std::to_string(expected.size()));
        return problems;
    }
    std::size_t badEntries = 0;
    std::size_t badMembers = 0;
    for (std::size_t i = 0; i < directory.size(); ++i) {
        const std::size_t at = 4 + 16 * i;
        if (std::memcmp(actual.data() + at, expected.data() + at, 16) != 0) {
            ++badEntries;
        }
        const std::size_t offset = directory[i].offset;
        const std::size_t size = directory[i].size;
        if (std::memcmp(actual.data() + offset, expected.data() + offset, size) != 0) {
            ++badMembers;
        }
    }
    if (badEntries > 0) {
        problems.push_back(std::to_string(badEntries) + " directory entries differ");
    }
    if (badMembers > 0) {
        problems.push_back(std::to_string(badMembers) + " members' bytes differ");
    }
    if (problems.empty() && actual != expected) {
        problems.push_back("bytes outside every member differ");
    }
    return problems;
}

bool RunDataPackSection(DemoContext& demo) {
    const std::string base = JoinPath(demo.root, "datapack");
    const std::string gameDir = JoinPath(base, "game");
    const std::string packPath = JoinPath(gameDir, "demo.tre");
    const std::string target = JoinPath(base, "pieces");
    const std::string logPath = JoinPath(target, "result.log");
    bool passed = true;
    auto fail = [&](double seconds, const std::string& what) {
        ReportStep(demo, seconds, "FAILED: " + what);
        passed = false;
    };

    demo.host->Report("Data pack cycle in " + base + "\n");

    // Make.
    auto start = Clock::now();
    const std::vector<samples::PackMember> members =
        samples::MakeRealisticMembers(kDemoMembers, kDemoSeed);
    const Bytes original = samples::BuildPack(members);
    if (!CreateDirectories(gameDir)) {
        throw FileCreateError(gameDir, "cannot create directory");
    }
    WriteWholeFile(packPath, original);
    const std::vector<samples::PackEntry> directory = samples::ReadPackDirectory(original);
    ReportStep(demo, SecondsSince(start), "made " + RelativeTo(packPath, base) + ": " +
                                        DescribeMembers(members, original.size()));

    // Extract.
    start = Clock::now();
    const FormRun extraction = RunThroughForm(demo, 1, {packPath}, target);
    double seconds = SecondsSince(start);
    const std::size_t nonEmpty = static_cast<std::size_t>(
        std::count_if(directory.begin(), directory.end(),
                      [](const samples::PackEntry& entry) { return entry.size > 0; }));
    const TextLines log = LoadTextLines(logPath);
    std::size_t pieces = 0;
    for (std::size_t k = 2; k < log.size(); ++k) {
        pieces += log[k] != "NULL" && FileExists(log[k]) ? 1 : 0;
    }
    if (!extraction.results.empty()) {
        fail(seconds, "extraction reported: " + extraction.results.front());
    } else if (log.size() != directory.size() + 2 || log[0] != "#Format: TRE" ||
               log[1] != "#Source: " + packPath) {
        fail(seconds, "result.log has " + std::to_string(log.size()) + " lines instead of " +
                          std::to_string(directory.size() + 2) + " with its two framing lines");
    } else if (pieces != nonEmpty) {
        fail(seconds, std::to_string(pieces) + " pieces for " + std::to_string(nonEmpty) +
                          " members with data");
    } else {
        ReportStep(demo, seconds, "extracted " + std::to_string(pieces) + " pieces, " +
                                BytesText(extraction.stats.bytes) + ", into " +
                                RelativeTo(target, base) + "/, listed in " +
                                RelativeTo(logPath, base));
    }
    if (!passed) {
        return false;
    }

    // Edit.
    start = Clock::now();
    const TextLines entryLines(log.begin() + 2, log.end());
    std::vector<PieceEdit> edits = ChoosePieces(entryLines, original, directory);
    if (edits.size() != 3) {
        fail(SecondsSince(start), "found no three pieces with content of their own to edit");
        return false;
    }
    std::string described;
    for (const PieceEdit& edit : edits) {
        WriteWholeFile(edit.piecePath, edit.after);
        described += (described.empty() ? "" : "; ") + DescribeEdit(edit, base);
    }
    ReportStep(demo, SecondsSince(start), "edited 3 pieces: " + described);

    // Insert.
    start = Clock::now();
    const FormRun insertion = RunThroughForm(demo, 5, {logPath}, target);
    seconds = SecondsSince(start);
    const PieceEdit& grown = edits[2];
    const std::string expectedLine = grown.piecePath + " greater by " +
                                     std::to_string(grown.after.size() - grown.before.size()) +
                                     " bytes.";
    if (insertion.results != std::vector<std::string>{expectedLine}) {
        fail(seconds, "insertion reported " + std::to_string(insertion.results.size()) +
                          " results lines, not just \"" + expectedLine + "\"");
    } else {
        ReportStep(demo, seconds, "inserted " + RelativeTo(logPath, base) +
                                ": 2 pieces written back, the grown one refused with \"" +
                                RelativeTo(expectedLine, base) + "\"");
    }

    // Check.
    start = Clock::now();
    const Bytes actual = ReadWholeFile(packPath);
    std::vector<std::string> problems =
        ComparePacks(actual, ExpectedPack(original, directory, edits), directory);
    if (FileExists(DataPackJournalPath(packPath))) {
        problems.push_back("the journal is still beside the pack");
    }
    seconds = SecondsSince(start);
    if (!problems.empty()) {
        std::string text;
        for (const std::string& problem : problems) {
            text += (text.empty() ? "" : "; ") + problem;
        }
        fail(seconds, "pack check: " + text);
    } else {
        ReportStep(demo, seconds, "checked the pack: sizes and CRC-32s of the 2 written members, the "
                            "grown member untouched, the other " +
                                std::to_string(directory.size() - 3) +
                                " members and their entries byte-identical, no journal left");
    }
    return passed;
}

// ---------------------------------------------------------------------------------------------

struct DemoSection {
    const char* name;
    std::function<bool(DemoContext&)> run;
};

// Every format adds its section here as it arrives.
const std::vector<DemoSection>& Sections() {
    static const std::vector<DemoSection> sections = {
        {"data pack", RunDataPackSection},
        {"texture", demo::RunTextureSection},
        {"font", demo::RunFontSection},
    };
    return sections;
}

// Removes everything in a directory that an earlier demo made.
void ClearDirectory(const std::string& directory) {
    for (const DirectoryEntry& entry : ListDirectory(directory)) {
        RemoveTree(JoinPath(directory, entry.name));
    }
}

// Makes root ready: a new or empty directory, or one an earlier demo made (then cleared).
void PrepareRoot(const std::string& root) {
    if (FileExists(root) && !IsDirectory(root)) {
        throw ForeignDirectoryError(root + " is not a directory");
    }
    if (IsDirectory(root)) {
        const std::vector<DirectoryEntry> entries = ListDirectory(root);
        const bool marked =
            std::any_of(entries.begin(), entries.end(),
                        [](const DirectoryEntry& entry) { return entry.name == kMarkerName; });
        if (!entries.empty() && !marked) {
            throw ForeignDirectoryError(root +
                             " is not empty and was not made by eitool demo; give a new or "
                             "empty directory");
        }
        ClearDirectory(root);
    } else if (!CreateDirectories(root)) {
        throw FileCreateError(root, "cannot create directory");
    }
    const std::string note = "Made by eitool demo; the next demo clears this directory.\n";
    WriteWholeFile(JoinPath(root, kMarkerName), Bytes(note.begin(), note.end()));
}

} // namespace

bool RunDemo(DemoHost& host, const std::string& root) {
    DemoContext demo;
    demo.host = &host;
    demo.root = root;
    PrepareRoot(demo.root);

    demo.host->Report("eitool demo: the whole cycle on generated sample files in " + demo.root + "\n");
    const auto start = Clock::now();
    for (const DemoSection& section : Sections()) {
        demo.host->Report("\n");
        bool passed = false;
        try {
            passed = section.run(demo);
        } catch (const std::exception& error) {
            demo.host->Report(std::string("  FAILED: the ") + section.name +
                        " section ended: " + error.what() + "\n");
            demo.host->ReportError(error.what());
        }
        demo.passed = demo.passed && passed;
    }
    demo.host->Report("\n" + std::string(demo.passed ? "All checks passed" : "Some checks FAILED") +
                " (" + SecondsText(SecondsSince(start)) + " in all).\n");
    return demo.passed;
}

} // namespace eitool::demo
