// The data pack section of `eitool demo`: a realistic pack is extracted, three text pieces are
// edited as a translator would (one made shorter, one translated in its own size, one grown), the
// result log is inserted, and the pack is compared byte for byte with what it must now hold.
#include "app/RunSummary.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "demo/DemoSection.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"
#include "samples/SamplePack.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>

namespace eitool::demo {

namespace {

constexpr std::uint32_t kDemoMembers = 3200;
constexpr std::uint32_t kDemoSeed = 20240601;
constexpr std::size_t kLeastLines = 4;
// The translation that replaces a line, cut or padded with blanks to the line's length.
constexpr std::string_view kTranslation =
    "Traduction: cette ligne a la longueur de l'original, completee par des blancs.";
constexpr std::string_view kAddedLine = "A line the translator added.\r\n";

enum class EditKind { Shorter, SameSize, Grown };

struct PieceEdit {
    EditKind kind;
    std::string piecePath;
    std::uint32_t member = 0; // file-order index of its directory entry
    Bytes before;
    Bytes after;
};

std::string_view MemberBytes(const Bytes& pack, const samples::PackEntry& entry) {
    return {reinterpret_cast<const char*>(pack.data()) + entry.offset, entry.size};
}

std::string_view AsText(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string DescribeMembers(const std::vector<samples::PackMember>& members, std::size_t packSize) {
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
        const std::string extension = UpperAscii(ExtensionPart(GameNamePart(members[i].name)));
        extensions.insert(extension.empty() ? std::string("(none)") : extension);
    }
    return std::to_string(members.size()) + " members (" + std::to_string(empty) + " empty, " +
           std::to_string(withDirectory) + " names with directory parts, extensions " +
           Joined({extensions.begin(), extensions.end()}, " ") + "), " + BytesText(packSize);
}

// The text with the line of length bytes at start replaced by the translation, fitted to the
// same length.
Bytes TranslateLine(const Bytes& text, std::size_t start, std::size_t length) {
    std::string line(kTranslation.substr(0, length));
    if (line.size() == length && length < kTranslation.size()) {
        const std::size_t blank = line.rfind(' ');
        line.resize(blank == std::string::npos ? length : blank); // no word cut in two
    }
    line.resize(length, ' ');
    Bytes after = text;
    std::copy(line.begin(), line.end(), after.begin() + static_cast<std::ptrdiff_t>(start));
    return after;
}

// The edited text of a piece of kind, or nothing when the piece is not a text of several lines.
std::optional<Bytes> EditedText(EditKind kind, const Bytes& text) {
    const std::string_view view = AsText(text);
    std::vector<std::size_t> lineEnds; // just after each CR LF
    for (std::size_t at = view.find("\r\n"); at != std::string_view::npos;
         at = view.find("\r\n", at + 2)) {
        lineEnds.push_back(at + 2);
    }
    if (lineEnds.size() < kLeastLines || !view.ends_with("\r\n")) {
        return std::nullopt;
    }
    if (kind == EditKind::Shorter) {
        const std::size_t kept = lineEnds[(lineEnds.size() + 1) / 2 - 1];
        return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    if (kind == EditKind::SameSize) {
        const auto startOf = [&](std::size_t k) { return k == 0 ? 0 : lineEnds[k - 1]; };
        std::size_t longest = 0;
        for (std::size_t k = 1; k < lineEnds.size(); ++k) {
            if (lineEnds[k] - startOf(k) > lineEnds[longest] - startOf(longest)) {
                longest = k;
            }
        }
        return TranslateLine(text, startOf(longest), lineEnds[longest] - 2 - startOf(longest));
    }
    Bytes after = text;
    after.insert(after.end(), kAddedLine.begin(), kAddedLine.end());
    return after;
}

// Picks the text pieces to edit from the extraction's entry lines, one for each kind of edit
// from a quarter, a half and three quarters of the way on: pieces whose content no other member
// has, so that each is tied to its member by content alone and the check does not lean on the
// order the extractor used.
std::vector<PieceEdit> ChoosePieces(const TextLines& entryLines, const Bytes& pack,
                                    const std::vector<samples::PackEntry>& directory) {
    std::unordered_map<std::string_view, std::vector<std::uint32_t>> byContent;
    for (std::uint32_t i = 0; i < directory.size(); ++i) {
        if (directory[i].size > 0) {
            byContent[MemberBytes(pack, directory[i])].push_back(i);
        }
    }
    std::vector<PieceEdit> edits;
    for (const EditKind kind : {EditKind::Shorter, EditKind::SameSize, EditKind::Grown}) {
        const std::size_t from = entryLines.size() * (edits.size() + 1) / 4;
        for (std::size_t k = from; k < entryLines.size(); ++k) {
            const std::string& line = entryLines[k];
            if (UpperAscii(ExtensionPart(FileNamePart(line))) != ".TXT" || !FileExists(line)) {
                continue;
            }
            Bytes before = ReadWholeFile(line);
            const auto found = byContent.find(AsText(before));
            if (found == byContent.end() || found->second.size() != 1 ||
                found->second[0] == samples::kNamesListIndex) {
                continue;
            }
            if (std::optional<Bytes> after = EditedText(kind, before)) {
                edits.push_back(
                    {kind, line, found->second[0], std::move(before), std::move(*after)});
                break;
            }
        }
    }
    return edits;
}

std::string DescribeEdit(const PieceEdit& edit, const std::string& name) {
    switch (edit.kind) {
    case EditKind::Shorter:
        return name + " shorter (" + std::to_string(edit.before.size()) + " -> " +
               std::to_string(edit.after.size()) + " bytes, the later half of its lines cut)";
    case EditKind::SameSize:
        return name + " same size (" + std::to_string(edit.after.size()) +
               " bytes, its longest line translated)";
    case EditKind::Grown:
        return name + " grown by " + std::to_string(edit.after.size() - edit.before.size()) +
               " bytes (a line added)";
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
    if (actual.size() != expected.size()) {
        return {"pack size " + std::to_string(actual.size()) + " instead of " +
                std::to_string(expected.size())};
    }
    std::size_t badEntries = 0;
    std::size_t badMembers = 0;
    for (std::size_t i = 0; i < directory.size(); ++i) {
        const std::size_t at = 4 + 16 * i;
        badEntries += std::memcmp(actual.data() + at, expected.data() + at, 16) != 0 ? 1 : 0;
        const std::size_t offset = directory[i].offset;
        badMembers +=
            std::memcmp(actual.data() + offset, expected.data() + offset, directory[i].size) != 0
                ? 1
                : 0;
    }
    std::vector<std::string> problems;
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

class DataPackSection final : public DemoSection {
public:
    using DemoSection::DemoSection;

    StepOutcome Make() override {
        m_members = samples::MakeRealisticMembers(kDemoMembers, kDemoSeed);
        m_original = samples::BuildPack(m_members);
        MakeDirectory(DirectoryPart(At(kPack)));
        WriteWholeFile(At(kPack), m_original);
        m_directory = samples::ReadPackDirectory(m_original);
        return Done("made " + Shown(At(kPack)) + ": " +
                    DescribeMembers(m_members, m_original.size()));
    }

    StepOutcome Extract() override {
        const FormRun extraction = RunForm(1, {At(kPack)}, kPieces);
        const std::size_t nonEmpty = static_cast<std::size_t>(
            std::count_if(m_directory.begin(), m_directory.end(),
                          [](const samples::PackEntry& entry) { return entry.size > 0; }));
        const TextLines log = LoadTextLines(At(kLog));
        std::size_t pieces = 0;
        for (std::size_t k = 2; k < log.size(); ++k) {
            pieces += log[k] != "NULL" && FileExists(log[k]) ? 1 : 0;
        }
        if (std::string problem = ResultsProblem("extraction", extraction); !problem.empty()) {
            return Failed(problem);
        }
        if (log.size() != m_directory.size() + 2 || log[0] != "#Format: TRE" ||
            log[1] != "#Source: " + At(kPack)) {
            return Failed("result.log has " + std::to_string(log.size()) + " lines instead of " +
                          std::to_string(m_directory.size() + 2) + " with its two framing lines");
        }
        if (pieces != nonEmpty) {
            return Failed(std::to_string(pieces) + " pieces for " + std::to_string(nonEmpty) +
                          " members with data");
        }
        m_entryLines.assign(log.begin() + 2, log.end());
        return Done("extracted " + std::to_string(pieces) + " pieces, " +
                    BytesText(extraction.stats.bytes) + ", into " + Shown(At(kPieces)) +
                    "/, listed in " + Shown(At(kLog)));
    }

    StepOutcome Edit() override {
        m_edits = ChoosePieces(m_entryLines, m_original, m_directory);
        if (m_edits.size() != 3) {
            return Failed("found no three text pieces with content of their own to edit");
        }
        std::vector<std::string> described;
        for (const PieceEdit& edit : m_edits) {
            WriteWholeFile(edit.piecePath, edit.after);
            described.push_back(DescribeEdit(edit, Shown(edit.piecePath)));
        }
        return Done("edited 3 text pieces: " + Joined(described, "; "));
    }

    StepOutcome Insert() override {
        const FormRun insertion = RunForm(5, {At(kLog)}, kPieces);
        const PieceEdit& grown = m_edits[2];
        const std::string refusal = grown.piecePath + " greater by " +
                                    std::to_string(grown.after.size() - grown.before.size()) +
                                    " bytes.";
        if (std::string problem = ResultsProblem("insertion", insertion, {refusal});
            !problem.empty()) {
            return Failed(problem);
        }
        return Done("inserted " + Shown(At(kLog)) +
                    ": 2 pieces written back, the grown one refused with \"" + Shown(refusal) +
                    "\"");
    }

    StepOutcome Check() override {
        const Bytes actual = ReadWholeFile(At(kPack));
        std::vector<std::string> problems =
            ComparePacks(actual, ExpectedPack(m_original, m_directory, m_edits), m_directory);
        if (FileExists(DataPackJournalPath(At(kPack)))) {
            problems.push_back("the journal is still beside the pack");
        }
        if (!problems.empty()) {
            return Failed("pack check: " + Joined(problems, "; "));
        }
        return Done("checked the pack: sizes and CRC-32s of the 2 written members, the grown "
                    "member untouched, the other " +
                    std::to_string(m_directory.size() - 3) +
                    " members and their entries byte-identical, no journal left");
    }

private:
    // Below the section's directory: the game's pack, and the pieces with their result log.
    static constexpr std::string_view kPack = "game/demo.tre";
    static constexpr std::string_view kPieces = "pieces";
    static constexpr std::string_view kLog = "pieces/result.log";

    // The pack as made.
    std::vector<samples::PackMember> m_members;
    Bytes m_original;
    std::vector<samples::PackEntry> m_directory;
    // The extraction's entry lines, and the edits of their pieces.
    TextLines m_entryLines;
    std::vector<PieceEdit> m_edits;
};

} // namespace

std::unique_ptr<DemoSection> MakeDataPackSection(const DemoContext& demo, const std::string& base) {
    return std::make_unique<DataPackSection>(demo, base);
}

} // namespace eitool::demo
