#include "formats/DataPack.h"

#include "common/ByteReader.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "formats/BlockWriter.h"
#include "formats/Crc32.h"
#include "formats/DataPackContents.h"
#include "formats/DataPackJournal.h"
#include "formats/DataPackLayout.h"
#include "formats/DataPackPieces.h"
#include "formats/DataPackRebuild.h"
#include "run/HandlerSupport.h"
#include "run/PieceChecks.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace eitool {

namespace {

using datapack::Directory;

void ShowCounter(RunContext& run, const char* verb, std::uint64_t done, std::uint32_t count) {
    run.surface.SetExtracted(verb + std::to_string(done) + " of " + std::to_string(count));
}

void ShowPieceProgress(RunContext& run, std::uint64_t position, std::uint32_t count) {
    UpdateFileProgress(run.surface, static_cast<std::int32_t>(position * 100 / count));
}

// ---- Reading and checking the directory ---------------------------------------------------

// Every non-empty member must lie inside the pack; empty members are never read or written,
// so their offsets are not looked at.
void CheckMembersFit(const std::string& path, const Directory& directory, std::uint64_t fileSize) {
    const DataPackEntry& names = directory.entries[kNamesListEntry];
    if (!RangeFits(names.offset, names.size, fileSize)) {
        throw CorruptFileError(path, "the names list (entry " + std::to_string(kNamesListEntry) +
                                         ") runs past the end of the file");
    }
    for (std::size_t i = 0; i < directory.entries.size(); ++i) {
        const DataPackEntry& entry = directory.entries[i];
        if (entry.size != 0 && !RangeFits(entry.offset, entry.size, fileSize)) {
            throw CorruptFileError(path, "member " + std::to_string(i) + " (offset " +
                                             std::to_string(entry.offset) + ", size " +
                                             std::to_string(entry.size) +
                                             ") runs past the end of the file (" +
                                             std::to_string(fileSize) + " bytes)");
        }
    }
}

// The directory of count entries, checked, when the pack has a names list entry. A pack without
// one gets its results line and no directory.
std::optional<Directory> ReadCheckedDirectory(RunContext& run, FileStream& pack,
                                              const std::string& reportPath, std::uint32_t count,
                                              std::uint64_t fileSize) {
    Directory directory = datapack::ReadDirectory(pack, count, fileSize);
    if (count <= kNamesListEntry) {
        run.surface.AddResultLine(reportPath + " has no names list!");
        return std::nullopt;
    }
    CheckMembersFit(pack.Path(), directory, fileSize);
    return directory;
}

// ---- Extraction -----------------------------------------------------------------------------

} // namespace

// Lines end at CR, LF or CR LF; the text ends at its first NUL.
NamesList::NamesList(std::vector<std::uint8_t> bytes, std::size_t lineLimit)
    : m_bytes(std::move(bytes)) {
    const std::string_view text = TextBeforeNul(m_bytes);
    const std::size_t n = text.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n && m_lines.size() < lineLimit) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            m_lines.push_back(
                {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(i - start)});
            i += (c == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n && m_lines.size() < lineLimit) {
        m_lines.push_back(
            {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(n - start)});
    }
}

std::string_view NamesList::operator[](std::size_t k) const {
    return {reinterpret_cast<const char*>(m_bytes.data()) + m_lines[k].offset, m_lines[k].length};
}

namespace {

NamesList ReadNamesList(FileStream& pack, const DataPackEntry& names, std::size_t lineLimit) {
    // The size was checked against the file.
    std::vector<std::uint8_t> bytes(names.size);
    pack.ReadAt(names.offset, bytes);
    return NamesList(std::move(bytes), lineLimit);
}

void CheckNamesCoverMembers(const std::string& path, const Directory& directory,
                            const std::vector<std::uint32_t>& order, const NamesList& names) {
    for (std::size_t k = order.size(); k-- > names.size();) {
        if (directory.entries[order[k]].size != 0) {
            throw CorruptFileError(path, "the names list has " + std::to_string(names.size()) +
                                             " lines, but line " + std::to_string(k) +
                                             " (counted from 0) is needed for member " +
                                             std::to_string(order[k]));
        }
    }
}

// The bytes that the pieces of the pack add up to.
std::uint64_t PiecesTotal(const Directory& directory) {
    std::uint64_t total = 0;
    for (const DataPackEntry& entry : directory.entries) {
        total += entry.size;
    }
    return total;
}

// A piece is complete or absent at its name whatever ends the run, and a name held by a link of
// another file is replaced instead of written through. Where the file system allows, the piece is
// written as an unnamed file and linked to its name when complete (nothing is left behind by a
// kill); a name already taken is replaced through a temporary name and a rename. Elsewhere it
// goes through a pending file. No sync: see PendingFile::CommitWithoutSync.
void WritePiece(RunContext& run, FileStream& pack, const DataPackEntry& entry,
                const std::string& piecePath) {
    std::optional<PendingFile> pending;
    std::optional<FileStream> unnamed =
        FileStream::CreateUnnamed(DirectoryPart(piecePath), piecePath);
    FileStream& file = unnamed ? *unnamed : pending.emplace(piecePath, run.writeHook).Create();
    pack.Seek(entry.offset);
    try {
        file.CopyFrom(pack, entry.size);
    } catch (const FileWriteError& error) {
        throw FileWriteError(piecePath,
                             std::string("cannot write the file (") + error.what() + ")");
    }
    if (pending) {
        pending->CommitWithoutSync();
        return;
    }
    run.BeforeWrite(piecePath);
    if (unnamed->LinkAs(piecePath)) {
        return;
    }
    const std::string temporary = PendingFile::TemporaryPathOf(piecePath);
    if (EntryTypeOf(temporary) == EntryType::RegularFile) {
        RemoveFileQuietly(temporary); // left by a run that was killed
    }
    if (!unnamed->LinkAs(temporary)) {
        throw FileCreateError(piecePath,
                              "cannot create file: " + ShownPath(temporary) + " is in the way");
    }
    try {
        RenameFile(temporary, piecePath);
    } catch (...) {
        RemoveFileQuietly(temporary);
        throw;
    }
}

// The piece path of every non-empty member in offset order (empty for an empty member), all
// checked before the first piece is written.
std::vector<std::string> PiecePaths(RunContext& run, const std::string& path,
                                    const Directory& directory,
                                    const std::vector<std::uint32_t>& order,
                                    const NamesList& names) {
    const auto count = static_cast<std::uint32_t>(directory.entries.size());
    const int digits = IndexDigits(count);
    std::vector<std::string> paths(count);
    for (std::uint32_t k = 0; k < count; ++k) {
        if (directory.entries[order[k]].size != 0) {
            paths[k] = PiecePathOf(run.state, path, RelativePieceName(names[k], k, digits));
        }
    }
    return paths;
}

// Makes the pieces' directories and looks at the piece files already there: which of them hold
// their member's bytes (they are left as they are). Any other is an edited piece, replaced only
// with the user's consent, which is asked before anything of the pack is written.
std::vector<bool> UnchangedPieces(RunContext& run, FileStream& pack, const Directory& directory,
                                  const std::vector<std::uint32_t>& order,
                                  const std::vector<std::string>& paths) {
    std::vector<bool> unchanged(paths.size(), false);
    bool edited = false;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        if (paths[k].empty()) {
            continue;
        }
        MakePieceDirectories(run, paths[k]);
        const std::optional<FileIdentity> there = IdentityOfPath(paths[k]);
        if (!there) {
            continue;
        }
        // A piece replaces the name it is written to, but a link found there is refused, before
        // anything is written, as the creation of a file never goes through one.
        if (there->kind == FileKind::Link) {
            throw FileCreateError(
                paths[k], "cannot create file: it is a link; nothing is written through it");
        }
        if (there->kind != FileKind::Regular) {
            continue;
        }
        // Comparing a tree extracted before reads it whole, so the counter shows it.
        ShowCounter(run, "Comparing: ", std::uint64_t{k} + 1,
                    static_cast<std::uint32_t>(paths.size()));
        ShowPieceProgress(run, k, static_cast<std::uint32_t>(paths.size()));
        const DataPackEntry& entry = directory.entries[order[k]];
        if (there->size == entry.size && PieceHolds(paths[k], pack, entry.offset, entry.size)) {
            unchanged[k] = true;
        } else if (!edited) {
            AllowReplacingEdited(run, pack.Path(), paths[k]);
            edited = true;
        }
    }
    return unchanged;
}

void ExtractMembers(RunContext& run, FileStream& pack, const Directory& directory) {
    const std::string& path = pack.Path();
    const std::vector<std::uint32_t> order = datapack::OffsetOrder(directory.entries);
    const NamesList names =
        ReadNamesList(pack, directory.entries[kNamesListEntry], directory.entries.size());
    CheckNamesCoverMembers(path, directory, order, names);

    const auto count = static_cast<std::uint32_t>(directory.entries.size());
    ShowFileStatus(run, "Processing ", path);
    const std::vector<std::string> paths = PiecePaths(run, path, directory, order, names);
    if (!ClaimPieces(run, path, paths)) {
        run.state.ResultLog.insert(run.state.ResultLog.end(), count, "NULL");
        return;
    }
    const std::vector<bool> unchanged = UnchangedPieces(run, pack, directory, order, paths);
    std::uint64_t written = 0;
    std::string lastPiece;
    for (std::uint32_t k = 0; k < count; ++k) {
        // Checked between pieces only, so every piece on disk is complete.
        if (AbortRequested(run)) {
            throw RunAborted(ShownPath(path) + ": aborted after " + std::to_string(k) + " of " +
                             std::to_string(count) + " entries; the " + std::to_string(written) +
                             " pieces written are complete" +
                             (lastPiece.empty() ? "" : ", the last is " + ShownPath(lastPiece)));
        }
        const DataPackEntry& entry = directory.entries[order[k]];
        if (entry.size == 0) {
            run.state.ResultLog.emplace_back("NULL");
        } else {
            // A piece equal to the member is left as it is; it is complete all the same.
            if (!unchanged[k]) {
                SetOldResultLogAside(run);
                WritePiece(run, pack, entry, paths[k]);
            }
            ++written;
            lastPiece = paths[k];
            run.state.ResultLog.push_back(paths[k]);
            ++run.state.stats.pieces;
            run.state.stats.bytes += entry.size;
        }
        ShowCounter(run, "Extracted: ", std::uint64_t{k} + 1, count);
        ShowPieceProgress(run, k, count);
    }
}

// ---- Insertion ------------------------------------------------------------------------------

using datapack::PlannedPiece;

// The bytes of small changed pieces are kept from their CRC-32 to their writing, up to this
// many in all, so that those pieces are opened and read once; any other piece is read again.
// NOTE: kept small: with 32 MiB an insertion took five times the memory (48 MB) for no gain
// that could be measured over the page cache.
constexpr std::uint64_t kKeptPiecesBudget = std::uint64_t{2} << 20;

// The longest piece a member can take: sizes are 32-bit.
constexpr std::uint64_t kLargestMember = 0xFFFFFFFFu;

void CheckLinesLeft(const std::string& packPath, const LineBuffer& lines, std::int32_t firstLine,
                    std::uint32_t count) {
    // The block ends at the next block's framing line.
    std::uint64_t left = 0;
    if (firstLine >= 0 && static_cast<std::uint64_t>(firstLine) <= lines.size()) {
        for (auto at = lines.IteratorAt(static_cast<std::size_t>(firstLine));
             left < count && at != lines.end() && !IsFramingLine(*at); ++at) {
            ++left;
        }
    }
    if (left < count) {
        throw CorruptFileError(packPath, "the log has " + std::to_string(left) +
                                             " entry lines for its " + std::to_string(count) +
                                             " entries; " + std::to_string(count - left) +
                                             " lines are missing");
    }
}

// A dry run's line for the piece of the entry line at position k: what would happen to it,
// its length where it has one, and the member's room.
void ReportPlanned(RunContext& run, const char* what, std::string_view line,
                   const std::string& length, const Directory& directory,
                   const std::vector<std::uint32_t>& order, std::uint32_t k,
                   const std::vector<std::uint64_t>& freeAfter) {
    if (!run.state.DryRun) {
        return;
    }
    const DataPackEntry& entry = directory.entries[order[k]];
    run.surface.AddPlanLine(std::string(what) + std::string(line) + " (" +
                            (length.empty() ? "" : length + " bytes; ") + "room " +
                            std::to_string(entry.size) + ", free after it " +
                            std::to_string(freeAfter[k]) + ")");
}

// Members whose ranges overlap, one after another in offset order: the positions [first, end)
// (empty members among them share nothing), and whether every non-empty one has the same offset
// and size.
struct SharedRun {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    bool sameRange = true;
};

std::vector<SharedRun> SharedRuns(const Directory& directory,
                                  const std::vector<std::uint32_t>& order) {
    std::vector<SharedRun> runs;
    SharedRun current;
    std::uint32_t members = 0;
    std::uint64_t reach = 0; // the end of the furthest member of the current run
    const DataPackEntry* head = nullptr;
    for (std::uint32_t k = 0; k < order.size(); ++k) {
        const DataPackEntry& entry = directory.entries[order[k]];
        if (entry.size == 0) {
            continue;
        }
        const std::uint64_t end = std::uint64_t{entry.offset} + entry.size;
        if (members > 0 && entry.offset < reach) {
            ++members;
            current.end = k + 1;
            current.sameRange &= entry.offset == head->offset && entry.size == head->size;
            reach = std::max(reach, end);
            continue;
        }
        if (members > 1) {
            runs.push_back(current);
        }
        current = SharedRun{k, k + 1, true};
        members = 1;
        reach = end;
        head = &entry;
    }
    if (members > 1) {
        runs.push_back(current);
    }
    return runs;
}

// Looks at every entry line: a missing file is passed over, a piece that grew is reported, and
// a piece with the same size and CRC-32 as its member needs no writing. The pieces are opened,
// read and summed a window ahead, on threads of their own, so that reads of pieces not in the
// cache overlap and the sums share the cores. The old bytes of every range to be written go
// into the journal as it is found (none in a dry run).
// Members that share bytes are planned together, once the last of them is looked at: their
// changed pieces go in only when all of them have one range and all their pieces hold the same
// new bytes, written once; otherwise each changed piece is a results line naming a member it
// shares bytes with, and nothing of them is written. A piece that holds its member's bytes as
// the pack has them (only the entry's CRC-32 was not theirs) changes no byte: it takes its
// CRC-32 without a write, unless the others are refused.
class InsertionPlanner {
public:
    InsertionPlanner(RunContext& run, const Directory& directory,
                     const std::vector<std::uint32_t>& order, std::int32_t firstLine,
                     FileStream& pack, std::uint64_t packSize, datapack::JournalStream* journal,
                     bool mayGrow)
        : m_run(run), m_directory(directory), m_order(order), m_firstLine(firstLine), m_pack(pack),
          m_packPath(pack.Path()), m_packSize(packSize), m_journal(journal), m_mayGrow(mayGrow),
          m_freeAfter(run.state.DryRun ? FreeAfterMembers(directory.entries, order, packSize)
                                       : std::vector<std::uint64_t>()) {}

    std::vector<PlannedPiece> Plan() {
        const auto count = static_cast<std::uint32_t>(m_directory.entries.size());
        std::vector<datapack::PieceToLook> pieces(count);
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::string_view line = Line(k);
            const DataPackEntry& entry = EntryAt(k);
            pieces[k] = {line == "NULL" ? std::string_view() : std::string_view(line), entry.size,
                         entry.crc, m_mayGrow ? kLargestMember : entry.size};
        }
        const std::vector<SharedRun> shared = SharedRuns(m_directory, m_order);
        std::size_t nextShared = 0;
        std::vector<datapack::PieceLook> held; // the looks of the shared run at hand
        RunStats seen;                         // the pieces the lines name, and those missing
        datapack::PieceLooks looks(datapack::PieceLooks::Mode::Sums, std::move(pieces),
                                   m_run.state.DryRun ? 0 : kKeptPiecesBudget,
                                   m_run.state.LogIndex.get());
        for (std::uint32_t k = 0; k < count; ++k) {
            if (AbortRequested(m_run)) {
                throw RunAborted(ShownPath(m_packPath) +
                                 ": the insertion was aborted before anything was written; the "
                                 "pack is unchanged");
            }
            datapack::PieceLook& look = looks.Take(k);
            NoteInIndex(k, look);
            if (const std::string_view line = Line(k); line != "NULL" && !IsTargetLine(line)) {
                ++seen.piecesNamed;
                seen.piecesMissing += look.present ? 0 : 1;
            }
            if (nextShared < shared.size() && k >= shared[nextShared].first) {
                held.push_back(std::move(look));
                if (k + 1 == shared[nextShared].end) {
                    PlanShared(shared[nextShared], held);
                    held.clear();
                    ++nextShared;
                }
            } else {
                PlanOne(k, look);
            }
            ShowCounter(m_run, "Comparing: ", std::uint64_t{k} + 1, count);
            ShowPieceProgress(m_run, k, count);
        }
        // Counted here from the looks, so that the replay does not ask for every piece again.
        m_run.state.stats.piecesNamed += seen.piecesNamed;
        m_run.state.stats.piecesMissing += seen.piecesMissing;
        m_run.state.PiecesCounted = true;
        return std::move(m_plan);
    }

private:
    enum class Verdict { Missing, Grown, Changed, Unchanged };

    // A "#Target" keyword line names no piece (the block holds no framing line).
    static bool IsTargetLine(std::string_view line) { return FirstWord(line) == "#Target"; }

    std::string_view Line(std::uint32_t k) const {
        return m_run.state.ReplayList[static_cast<std::size_t>(m_firstLine) + k];
    }
    const DataPackEntry& EntryAt(std::uint32_t k) const { return m_directory.entries[m_order[k]]; }

    Verdict VerdictOf(std::uint32_t k, const datapack::PieceLook& look) const {
        const DataPackEntry& entry = EntryAt(k);
        if (!look.present) {
            return Verdict::Missing;
        }
        if (look.length > entry.size) {
            return Verdict::Grown;
        }
        return look.length != entry.size || look.crc != entry.crc ? Verdict::Changed
                                                                  : Verdict::Unchanged;
    }

    // Whether the piece of look goes in: a changed one, and a grown one when the pack may be
    // rebuilt and its size field can hold it.
    bool TakesIn(std::uint32_t k, const datapack::PieceLook& look) const {
        const Verdict verdict = VerdictOf(k, look);
        return verdict == Verdict::Changed ||
               (verdict == Verdict::Grown && m_mayGrow && look.length <= kLargestMember);
    }

    // Counts a piece taken from the log's index, or records one that was summed whole in it.
    void NoteInIndex(std::uint32_t k, const datapack::PieceLook& look) {
        PieceIndex* const index = m_run.state.LogIndex.get();
        if (look.fromIndex) {
            ++m_run.state.stats.piecesFromIndex;
        } else if (index != nullptr && look.summedWhole) {
            index->Record(Line(k), look.signature, look.crc, look.takenAt);
        }
    }

    void Report(const char* what, std::uint32_t k, const datapack::PieceLook& look) {
        ReportPlanned(m_run, what, Line(k), look.present ? std::to_string(look.length) : "",
                      m_directory, m_order, k, m_freeAfter);
    }

    // What happens to a piece that shares no bytes, or to one whose shared bytes are not
    // written.
    void PlanOne(std::uint32_t k, datapack::PieceLook& look) {
        switch (VerdictOf(k, look)) {
        case Verdict::Missing:
            if (Line(k) != "NULL") {
                Report(kPlanMissing, k, look);
            }
            break;
        case Verdict::Grown:
            if (TakesIn(k, look)) {
                AddPlanned(k, look, true);
                break;
            }
            m_run.surface.AddResultLine(std::string(Line(k)) + " greater by " +
                                        std::to_string(look.length - EntryAt(k).size) + " bytes.");
            Report(kPlanGrown, k, look);
            break;
        case Verdict::Changed:
            AddPlanned(k, look, true);
            break;
        case Verdict::Unchanged:
            Report(kPlanUnchanged, k, look);
            break;
        }
    }

    // Plans the piece at position k; only one of the members that share a range writes it.
    void AddPlanned(std::uint32_t k, datapack::PieceLook& look, bool writesBytes) {
        const DataPackEntry& entry = EntryAt(k);
        const bool grown = look.length > entry.size;
        if (look.length > 0 && !grown && !RangeFits(entry.offset, look.length, m_packSize)) {
            throw CorruptFileError(m_packPath, "member " + std::to_string(m_order[k]) +
                                                   " runs past the end of the file");
        }
        if (m_journal != nullptr && writesBytes && look.length > 0) {
            m_journal->Add(entry.offset, look.length);
        }
        m_plan.push_back(PlannedPiece{m_order[k], std::string(Line(k)), look.length, look.crc,
                                      writesBytes ? std::move(look.bytes) : nullptr, writesBytes,
                                      grown});
        Report(grown ? kPlanGrow : kPlanInsert, k, look);
    }

    // Whether the piece of look holds the same bytes as the changed piece of reference.
    bool HoldsSame(const datapack::PieceLook& look, std::uint32_t k,
                   const datapack::PieceLook& reference, std::uint32_t r) const {
        if (!look.present || look.length != reference.length || look.read != look.length ||
            look.crc != reference.crc) {
            return false;
        }
        if (look.bytes && reference.bytes) {
            return std::equal(look.bytes.get(), look.bytes.get() + look.length,
                              reference.bytes.get());
        }
        return datapack::PiecesHoldSameBytes(std::string(Line(k)), std::string(Line(r)),
                                             look.length);
    }

    void PlanShared(const SharedRun& shared, std::vector<datapack::PieceLook>& held) {
        const std::uint32_t first = shared.first;
        const auto members = [&](auto visit) {
            for (std::uint32_t k = first; k < shared.end; ++k) {
                if (EntryAt(k).size != 0) {
                    visit(k);
                }
            }
        };
        // Changed pieces that hold what the pack holds.
        std::vector<bool> asInPack(held.size(), false);
        std::optional<std::uint32_t> changed; // the first piece of other bytes
        members([&](std::uint32_t k) {
            const datapack::PieceLook& look = held[k - first];
            if (!TakesIn(k, look)) {
                return;
            }
            const DataPackEntry& entry = EntryAt(k);
            asInPack[k - first] =
                look.length == entry.size &&
                PieceHolds(std::string(Line(k)), m_pack, entry.offset, entry.size);
            if (!changed && !asInPack[k - first]) {
                changed = k;
            }
        });
        // Which members' pieces hold the same bytes as the first changed one.
        std::vector<bool> same(held.size(), false);
        bool allSame = changed.has_value() && shared.sameRange;
        if (allSame) {
            members([&](std::uint32_t k) {
                same[k - first] = k == *changed ||
                                  HoldsSame(held[k - first], k, held[*changed - first], *changed);
                allSame = allSame && same[k - first];
            });
        }
        const bool refused = changed.has_value() && !allSame;
        // Whom a refused piece names: a member of the same range whose piece holds other bytes,
        // or one whose range overlaps its own in part.
        std::vector<std::uint32_t> others;
        std::uint32_t otherHolder = changed.value_or(first);
        if (refused && shared.sameRange) {
            members([&](std::uint32_t k) {
                if (!same[k - first] && otherHolder == *changed) {
                    otherHolder = k;
                }
            });
        } else if (refused) {
            others = OtherRanges(shared);
        }
        bool written = false;
        for (std::uint32_t k = first; k < shared.end; ++k) {
            datapack::PieceLook& look = held[k - first];
            if (EntryAt(k).size == 0 || !TakesIn(k, look)) {
                PlanOne(k, look);
            } else if (asInPack[k - first]) {
                if (refused) {
                    Report(kPlanUnchanged, k, look);
                } else {
                    AddPlanned(k, look, false);
                }
            } else if (!refused) {
                AddPlanned(k, look, !written);
                written = true;
            } else {
                const std::uint32_t other = !shared.sameRange ? others[k - first]
                                            : same[k - first] ? otherHolder
                                                              : *changed;
                const std::string otherLine(Line(other));
                m_run.surface.AddResultLine(
                    std::string(Line(k)) +
                    (shared.sameRange ? " shares its bytes with member "
                                      : " shares part of its bytes with member ") +
                    std::to_string(m_order[other]) +
                    (otherLine == "NULL" ? std::string() : " (" + otherLine + ")") +
                    (shared.sameRange ? ", whose piece does not hold the same bytes" : "") +
                    "; not inserted.");
                Report(kPlanShared, k, look);
            }
        }
    }

    // For each position of a run whose ranges are not all one: a member whose range overlaps its
    // own and is not the same (itself for an empty member). Of the distinct ranges in offset
    // order, that is the one before with the furthest end when it reaches in, otherwise the next
    // one, which the run being connected makes reach in.
    std::vector<std::uint32_t> OtherRanges(const SharedRun& shared) const {
        struct Range {
            std::uint64_t offset;
            std::uint64_t end;
            std::uint32_t position;
            bool operator<(const Range& r) const {
                return offset != r.offset ? offset < r.offset : end < r.end;
            }
        };
        std::vector<Range> ranges;
        for (std::uint32_t k = shared.first; k < shared.end; ++k) {
            const DataPackEntry& entry = EntryAt(k);
            if (entry.size != 0) {
                ranges.push_back({entry.offset, std::uint64_t{entry.offset} + entry.size, k});
            }
        }
        std::stable_sort(ranges.begin(), ranges.end());
        ranges.erase(std::unique(ranges.begin(), ranges.end(),
                                 [](const Range& a, const Range& b) { return !(a < b); }),
                     ranges.end());
        std::vector<std::uint32_t> otherOf(ranges.size());
        std::size_t furthest = 0;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            const bool before = i > 0 && ranges[furthest].end > ranges[i].offset;
            otherOf[i] = before                  ? ranges[furthest].position
                         : i + 1 < ranges.size() ? ranges[i + 1].position
                                                 : ranges[0].position;
            if (i == 0 || ranges[i].end > ranges[furthest].end) {
                furthest = i;
            }
        }
        std::vector<std::uint32_t> others(shared.end - shared.first);
        for (std::uint32_t k = shared.first; k < shared.end; ++k) {
            const DataPackEntry& entry = EntryAt(k);
            const Range key{entry.offset, std::uint64_t{entry.offset} + entry.size, k};
            const auto at = std::lower_bound(ranges.begin(), ranges.end(), key);
            others[k - shared.first] = entry.size == 0 ? k : otherOf[at - ranges.begin()];
        }
        return others;
    }

    RunContext& m_run;
    const Directory& m_directory;
    const std::vector<std::uint32_t>& m_order;
    const std::int32_t m_firstLine;
    FileStream& m_pack;
    const std::string& m_packPath;
    const std::uint64_t m_packSize;
    datapack::JournalStream* m_journal;
    const bool m_mayGrow;
    const std::vector<std::uint64_t> m_freeAfter;
    std::vector<PlannedPiece> m_plan;
};

// Writes the pieces into the pack, gathering those that follow each other without a gap into
// runs of up to 4 MiB, each written on a thread of its own while the next is gathered. The pack
// is written through the system's cache, so that it stays there for what reads it next. Each run
// is one write for the write hook, called once the run before it is written. Nothing gathered is
// written once an error has left the writer.
class PackWriter {
public:
    PackWriter(RunContext& run, FileStream& pack) : m_blocks(pack, kRunSize, run.writeHook) {}

    // Gathers count bytes for position offset of the pack, taken from fill(destination, n).
    template <typename Fill> void Append(std::uint64_t offset, std::uint64_t count, Fill fill) {
        if (m_to != m_from && offset != m_to) {
            WriteOut();
        }
        if (m_to == m_from) {
            m_from = m_to = offset;
        }
        while (count > 0) {
            if (m_to - m_from == kRunSize) {
                WriteOut();
            }
            const std::uint64_t n = std::min(count, kRunSize - (m_to - m_from));
            fill(m_blocks.Filling() + (m_to - m_from), static_cast<std::size_t>(n));
            m_to += n;
            count -= n;
        }
    }

    // Writes what is gathered and waits for it.
    void Finish() {
        WriteOut();
        m_blocks.Wait();
    }

private:
    static constexpr std::size_t kRunSize = std::size_t{4} << 20;

    // Hands the run gathered to the writer and goes on with the other buffer.
    void WriteOut() {
        if (m_to == m_from) {
            return;
        }
        m_blocks.Hand(m_from, static_cast<std::size_t>(m_to - m_from), false);
        m_from = m_to;
    }

    std::uint64_t m_from = 0; // the first position gathered, at the buffer's first byte
    std::uint64_t m_to = 0;   // the position after the last one
    DoubleBuffer m_blocks;
};

void WritePlannedPieces(RunContext& run, FileStream& pack, Directory& directory,
                        const std::vector<PlannedPiece>& plan) {
    const auto count = static_cast<std::uint32_t>(plan.size());
    // The pieces whose bytes were not kept are read again, the small ones a window ahead.
    std::vector<datapack::PieceToLook> pieces(count);
    for (std::uint32_t j = 0; j < count; ++j) {
        if (plan[j].writesBytes && !plan[j].bytes && plan[j].length > 0) {
            pieces[j] = {plan[j].path, plan[j].length, plan[j].crc};
        }
    }
    datapack::PieceLooks looks(datapack::PieceLooks::Mode::Bytes, std::move(pieces));
    PackWriter writer(run, pack);
    run.surface.SetProgressPosition(0);
    // Writing the journal takes a while; a press of Stop meanwhile is seen before the first piece.
    run.surface.ProcessMessages();
    for (std::uint32_t j = 0; j < count; ++j) {
        // Checked between pieces; the caller puts the pack back from the journal.
        if (AbortRequested(run)) {
            throw RunAborted(ShownPath(pack.Path()) +
                             ": the insertion was aborted; the pack was restored from its "
                             "journal");
        }
        const PlannedPiece& planned = plan[j];
        const DataPackEntry& entry = directory.entries[planned.fileIndex];
        datapack::PieceLook& look = looks.Take(j);
        const std::uint8_t* bytes = planned.bytes ? planned.bytes.get() : look.bytes.get();
        if (!planned.writesBytes) {
            // The member that shares this range wrote the same bytes.
        } else if (bytes != nullptr) {
            writer.Append(entry.offset, planned.length, [&](std::uint8_t* to, std::size_t n) {
                std::copy_n(bytes, n, to);
                bytes += n;
            });
        } else if (planned.length > 0) {
            FileStream piece = datapack::OpenPieceForWriting(planned.path, planned.length);
            writer.Append(entry.offset, planned.length,
                          [&](std::uint8_t* to, std::size_t n) { piece.ReadExact(to, n); });
        }
        datapack::SetSizeAndCrc(directory, planned.fileIndex,
                                static_cast<std::uint32_t>(planned.length), planned.crc);
        ++run.state.stats.pieces;
        run.state.stats.bytes += planned.writesBytes ? planned.length : 0;
        ShowCounter(run, "Writing pieces: ", std::uint64_t{j} + 1, count);
        ShowPieceProgress(run, j, count);
    }
    writer.Finish();
    run.BeforeWrite(pack.Path());
    datapack::WriteDirectory(pack, directory.raw);
    run.BeforeWrite(pack.Path());
    pack.Flush();
}

// Writes the plan all or nothing: the journal (its ranges already in it) first, then the pieces
// and the directory; when anything fails on the way, the pack is put back from the journal
// before the error goes on. When that fails too (a full disk), the journal stays and the error
// says so.
void CommitPlan(RunContext& run, FileStream& pack, Directory& directory,
                const std::vector<PlannedPiece>& plan, datapack::JournalStream& journalStream) {
    const std::string journalPath = DataPackJournalPath(pack.Path());
    run.surface.SetExtracted("Writing the journal...");
    const FileIdentity journal = journalStream.Commit();
    try {
        WritePlannedPieces(run, pack, directory, plan);
    } catch (const std::exception& failure) {
        bool restored = false;
        try {
            datapack::RestoreFromJournal(run, pack, journalPath);
            restored = true;
            datapack::RemoveJournal(journalPath, journal);
        } catch (const std::exception& rollback) {
            if (!restored) {
                throw FileWriteError(
                    pack.Path(), "the insertion failed (" + std::string(failure.what()) +
                                     "), and putting the pack back failed too (" + rollback.what() +
                                     "); the pack will be restored from " + journalPath +
                                     " by the next run that opens it: keep the journal");
            }
            // The pack is back as it was; a journal left over only writes the same bytes again.
        }
        throw;
    }
    datapack::RemoveJournal(journalPath, journal);
}

// ---- Rebuilding a pack whose pieces grew ----------------------------------------------------

// Whether the pieces that grew are planned for a rebuild: always with the Rebuild mode, and with
// Ask until the user said No.
bool MayGrow(const RunContext& run) {
    switch (run.state.Grow) {
    case GrowMode::Rebuild:
        return true;
    case GrowMode::Ask:
        return run.state.GrowAnswer != 2 && run.confirmGrow != nullptr;
    case GrowMode::Refuse:
        break;
    }
    return false;
}

// The user's will, asked once per run in the Ask mode.
bool RebuildWanted(RunContext& run) {
    if (run.state.Grow == GrowMode::Rebuild) {
        return true;
    }
    if (run.state.GrowAnswer == 0) {
        run.state.GrowAnswer = run.confirmGrow() ? 1 : 2;
    }
    return run.state.GrowAnswer == 1;
}

// Takes the grown pieces out of the plan, each with the results line of an insertion in place.
void RefuseGrown(RunContext& run, std::vector<PlannedPiece>& plan, const Directory& directory) {
    for (const PlannedPiece& piece : plan) {
        if (piece.grown) {
            run.surface.AddResultLine(
                piece.path + " greater by " +
                std::to_string(piece.length - directory.entries[piece.fileIndex].size) + " bytes.");
        }
    }
    std::erase_if(plan, [](const PlannedPiece& piece) { return piece.grown; });
}

std::string Count(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + (n == 1 ? one : many);
}

// Rebuilds the pack around its grown pieces, or in a dry run says what a rebuild would do; false
// when the user does not want it or the pack cannot be rebuilt (a results line says why), and
// the caller goes on with an insertion in place.
bool RebuildPack(RunContext& run, FileStream& pack, Directory& directory,
                 const std::vector<std::uint32_t>& order, const std::vector<PlannedPiece>& plan,
                 std::uint64_t packSize) {
    if (!RebuildWanted(run)) {
        return false;
    }
    datapack::RebuildLayout layout = datapack::PlanRebuild(directory, order, plan, packSize);
    if (layout.refusal.empty()) {
        layout.refusal = datapack::RebuildRefusal(pack, layout.newSize);
    }
    if (!layout.refusal.empty()) {
        run.surface.AddResultLine(pack.Path() + " is not rebuilt: " + layout.refusal + ".");
        return false;
    }
    std::uint64_t bytes = 0;
    for (const PlannedPiece& planned : plan) {
        bytes += planned.writesBytes ? planned.length : 0;
    }
    run.state.stats.pieces += plan.size();
    run.state.stats.bytes += bytes;
    const std::string grew = Count(layout.grownPieces, " piece", " pieces") + " grew by " +
                             Count(layout.grownBytes, " byte", " bytes") + " in all";
    const std::string sizes =
        std::to_string(layout.oldSize) + " bytes to " + std::to_string(layout.newSize);
    if (run.state.DryRun) {
        run.surface.AddPlanLine(kPlanRebuild + pack.Path() + " (" + grew + "; " +
                                Count(layout.moved, " member moves", " members move") + "; " +
                                sizes + " bytes)");
        return true;
    }
    datapack::WriteRebuiltPack(run, pack, directory, order, layout, plan);
    run.surface.AddReportLine(pack.Path() + " rebuilt: " + grew + ", " +
                              Count(layout.moved, " member moved", " members moved") + ", " +
                              sizes + " bytes.");
    return true;
}

} // namespace

// ---- Public operations ----------------------------------------------------------------------

bool RecoverDataPack(RunContext& run, const std::string& packPath) {
    if (!datapack::JournalLeftBeside(packPath)) {
        return false;
    }
    FileStream pack = FileStream::Open(packPath, omReadWrite);
    return datapack::RecoverOpenPack(run, pack);
}

void ExtractDataPack(RunContext& run, const std::string& path) {
    RecoverDataPack(run, path);
    // Shared with other extractions, but not with an insertion into the same pack.
    FileStream pack = FileStream::Open(path, omReadShared);
    datapack::RemoveLeftoverRebuild(path);
    const std::uint64_t fileSize = pack.Size();
    const std::uint32_t count = datapack::ReadEntryCount(pack, fileSize);
    ShowFileStatus(run, "Preparing ", path);
    if (count == 0) {
        return;
    }
    const std::optional<Directory> directory =
        ReadCheckedDirectory(run, pack, path, count, fileSize);
    // Members may overlap, so the pieces can add up to far more than the pack; the whole sum is
    // known from the directory before the first piece is written.
    if (directory && WithinOutputLimit(run, path, PiecesTotal(*directory), fileSize)) {
        ExtractMembers(run, pack, *directory);
    }
}

bool HoldsDataPack(FileStream& file) {
    const std::uint64_t size = file.Size();
    if (!RangeFits(0, datapack::kCountSize, size)) {
        return false;
    }
    const std::uint32_t count = datapack::ReadEntryCount(file, size);
    return count > kNamesListEntry && datapack::DirectoryFits(count, size);
}

std::int32_t InsertDataPack(RunContext& run, const std::string& name, std::int32_t firstLine) {
    if (!run.state.SourceStream || !run.state.SourceStream->IsOpen()) {
        throw RunError(name + ": no data pack is open for the insertion");
    }
    FileStream& pack = *run.state.SourceStream;
    if (!run.state.DryRun) {
        datapack::RecoverOpenPack(run, pack);
        datapack::RemoveLeftoverRebuild(pack.Path());
    } else if (datapack::JournalLeftBeside(pack.Path())) {
        // NOTE: the directory is written last, so the one on disk is nearly always the one the
        // journal holds, and the plan below stays right.
        run.surface.AddResultLine(pack.Path() +
                                  " has the journal of an interrupted insertion; a real run puts "
                                  "the pack back from it first.");
    }
    const std::uint64_t packSize = pack.Size();
    const std::uint32_t count = datapack::ReadEntryCount(pack, packSize);
    ShowFileStatus(run, "Preparing ", name);
    if (count == 0) {
        return firstLine;
    }
    std::optional<Directory> directory =
        ReadCheckedDirectory(run, pack, pack.Path(), count, packSize);
    if (!directory) {
        return firstLine;
    }
    CheckLinesLeft(pack.Path(), run.state.ReplayList, firstLine, count);
    const std::vector<std::uint32_t> order = datapack::OffsetOrder(directory->entries);

    ShowFileStatus(run, "Processing ", name);
    // Directory bytes as stored: the journal takes them before any entry changes.
    datapack::JournalStream journal(run, pack, directory->raw, DataPackJournalPath(pack.Path()));
    // Where grown pieces may be rebuilt around, the ranges are journalled once it is known that
    // the pack is written in place.
    const bool mayGrow = MayGrow(run);
    std::vector<PlannedPiece> plan =
        InsertionPlanner(run, *directory, order, firstLine, pack, packSize,
                         run.state.DryRun || mayGrow ? nullptr : &journal, mayGrow)
            .Plan();
    if (mayGrow && std::ranges::any_of(plan, &PlannedPiece::grown)) {
        if (RebuildPack(run, pack, *directory, order, plan, packSize)) {
            ShowCounter(run, "Inserted: ", count, count);
            if (!run.state.DryRun) {
                run.state.CompletedPacks.push_back(pack.Path());
            }
            return static_cast<std::int32_t>(firstLine + std::int64_t{count});
        }
        RefuseGrown(run, plan, *directory);
    }
    if (mayGrow && !run.state.DryRun) {
        for (const PlannedPiece& planned : plan) {
            if (planned.writesBytes && planned.length > 0) {
                journal.Add(directory->entries[planned.fileIndex].offset, planned.length);
            }
        }
    }
    if (run.state.DryRun) {
        std::uint64_t bytes = 0;
        for (const PlannedPiece& planned : plan) {
            bytes += planned.writesBytes ? planned.length : 0;
        }
        run.state.stats.pieces += plan.size();
        run.state.stats.bytes += bytes;
        if (!plan.empty()) {
            run.surface.AddPlanLine(kPlanWrite + pack.Path() + " (" + std::to_string(plan.size()) +
                                    " member(s), " + std::to_string(bytes) +
                                    " bytes, and its directory)");
        }
        return static_cast<std::int32_t>(firstLine + std::int64_t{count});
    }
    if (!plan.empty()) {
        CommitPlan(run, pack, *directory, plan, journal);
    }
    ShowCounter(run, "Inserted: ", count, count);
    run.state.CompletedPacks.push_back(pack.Path());
    return static_cast<std::int32_t>(firstLine + std::int64_t{count});
}

// Links are resolved first, so that every name of the pack finds the same journal. A pack that
// cannot be resolved (it does not exist) keeps its own name.
std::string DataPackJournalPath(const std::string& packPath) {
    const std::string resolved = CanonicalPath(packPath);
    return (resolved.empty() ? packPath : resolved) + ".eitool-journal";
}

} // namespace eitool
