#include "formats/DataPack.h"

#include "common/ByteWriter.h"
#include "common/ByteReader.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/ExchangeSort.h"
#include "run/HandlerSupport.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace eitool {

// Data pack (little-endian):
//   0        u32   entry count N (0: an empty pack)
//   4        16*N  directory: N entries in file order
//   anywhere       member data, each at the offset its entry gives
// Directory entry (16 bytes):
//   0  u32  offset of the member's first byte in the pack
//   4  u32  size in bytes (0: an empty member, which has no piece)
//   8  u32  not interpreted, never changed
//   12 u32  CRC-32 of the member's bytes (written by insertion only)
// The member of entry 2533 in file order is the names list: text up to its first NUL, one line
// per member in offset order.

namespace {

constexpr std::uint64_t kCountSize = 4;
constexpr std::uint64_t kDirectoryOffset = 4;
constexpr std::uint64_t kEntrySize = 16;
constexpr std::uint32_t kNamesListIndex = 2533;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

struct Entry {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t third = 0;
    std::uint32_t crc = 0;
};

struct Directory {
    std::vector<std::uint8_t> raw; // the 16*N bytes as stored at offset 4
    std::vector<Entry> entries;    // file order
};

std::uint32_t U32At(std::span<const std::uint8_t> bytes) {
    return ByteReader(bytes).U32le();
}

void StoreEntry(std::span<std::uint8_t> raw, std::size_t index, const Entry& entry) {
    std::uint8_t* at = raw.data() + index * kEntrySize;
    const std::array<std::uint32_t, 4> fields = {entry.offset, entry.size, entry.third, entry.crc};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        for (std::size_t b = 0; b < 4; ++b) {
            at[f * 4 + b] = static_cast<std::uint8_t>(fields[f] >> (8 * b));
        }
    }
}

void ShowCounter(RunContext& run, const char* verb, std::uint64_t done, std::uint32_t count) {
    run.surface.SetExtracted(verb + std::to_string(done) + " of " + std::to_string(count));
}

void ShowPieceProgress(RunContext& run, std::uint64_t position, std::uint32_t count) {
    UpdateFileProgress(run.surface, static_cast<std::int32_t>(position * 100 / count));
}

// ---- Reading and checking the directory ---------------------------------------------------

std::uint32_t ReadEntryCount(FileStream& pack, std::uint64_t fileSize) {
    if (fileSize < kCountSize) {
        throw CorruptFileError(pack.Path(), "the file (" + std::to_string(fileSize) +
                                                " bytes) is too short to hold an entry count");
    }
    std::array<std::uint8_t, 4> bytes{};
    pack.Seek(0);
    pack.ReadExact(bytes.data(), bytes.size());
    return U32At(bytes);
}

void CheckDirectoryFits(const std::string& path, std::uint32_t count, std::uint64_t fileSize) {
    if (kDirectoryOffset + kEntrySize * count > fileSize) {
        throw CorruptFileError(path, "a directory of " + std::to_string(count) +
                                         " entries runs past the end of the file (" +
                                         std::to_string(fileSize) + " bytes)");
    }
}

// Every non-empty member must lie inside the pack; empty members are never read or written,
// so their offsets are not looked at.
void CheckMembersFit(const std::string& path, const Directory& directory, std::uint64_t fileSize) {
    const Entry& names = directory.entries[kNamesListIndex];
    if (std::uint64_t{names.offset} + names.size > fileSize) {
        throw CorruptFileError(path, "the names list (entry " + std::to_string(kNamesListIndex) +
                                         ") runs past the end of the file");
    }
    for (std::size_t i = 0; i < directory.entries.size(); ++i) {
        const Entry& entry = directory.entries[i];
        if (entry.size != 0 && std::uint64_t{entry.offset} + entry.size > fileSize) {
            throw CorruptFileError(path, "member " + std::to_string(i) + " (offset " +
                                             std::to_string(entry.offset) + ", size " +
                                             std::to_string(entry.size) +
                                             ") runs past the end of the file (" +
                                             std::to_string(fileSize) + " bytes)");
        }
    }
}

// The caller has checked that the file holds the directory.
Directory ReadDirectory(FileStream& pack, std::uint32_t count, std::uint64_t fileSize) {
    Directory directory;
    directory.raw.resize(static_cast<std::size_t>(kEntrySize * count));
    pack.Seek(kDirectoryOffset);
    pack.ReadExact(directory.raw.data(), directory.raw.size());
    ByteReader reader(directory.raw);
    directory.entries.resize(count);
    for (Entry& entry : directory.entries) {
        entry.offset = reader.U32le();
        entry.size = reader.U32le();
        entry.third = reader.U32le();
        entry.crc = reader.U32le();
    }
    CheckMembersFit(pack.Path(), directory, fileSize);
    return directory;
}

// Reads N and, when the pack has a names list entry, its checked directory. A pack without one
// gets its results line and no directory.
std::optional<Directory> ReadCheckedDirectory(RunContext& run, FileStream& pack,
                                              const std::string& reportPath, std::uint32_t count,
                                              std::uint64_t fileSize) {
    CheckDirectoryFits(pack.Path(), count, fileSize);
    if (count <= kNamesListIndex) {
        run.surface.AddResultLine(reportPath + " has no names list!");
        return std::nullopt;
    }
    return ReadDirectory(pack, count, fileSize);
}

std::vector<std::uint32_t> OffsetOrder(const Directory& directory) {
    std::vector<std::uint32_t> offsets;
    offsets.reserve(directory.entries.size());
    for (const Entry& entry : directory.entries) {
        offsets.push_back(entry.offset);
    }
    return ExchangeSortOrder(offsets);
}

// ---- Extraction -----------------------------------------------------------------------------

TextLines ReadNamesList(FileStream& pack, const Entry& names) {
    // The size was checked against the file.
    std::string text(names.size, '\0');
    pack.Seek(names.offset);
    pack.ReadExact(text.data(), text.size());
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    return SplitTextLines(text);
}

void CheckNamesCoverMembers(const std::string& path, const Directory& directory,
                            const std::vector<std::uint32_t>& order, const TextLines& names) {
    for (std::size_t k = order.size(); k-- > names.size();) {
        if (directory.entries[order[k]].size != 0) {
            throw CorruptFileError(path, "the names list has " + std::to_string(names.size()) +
                                             " lines, but line " + std::to_string(k) +
                                             " (counted from 0) is needed for member " +
                                             std::to_string(order[k]));
        }
    }
}

// folder + separator + index + "_" + name, where the folder is the name's extension in upper
// case (empty without one) and the index is the position k in hexadecimal.
std::string RelativePieceName(const std::string& namesLine, std::uint32_t k, int digits) {
    const std::string name = GameNamePart(namesLine);
    const std::string extension = ExtensionPart(name);
    const std::string folder = extension.empty() ? std::string() : UpperAscii(extension.substr(1));
    return folder + kPathSeparator + HexIndex(k, digits) + "_" + name;
}

void WritePiece(FileStream& pack, const Entry& entry, const std::string& piecePath) {
    FileStream piece = FileStream::Open(piecePath, omCreate);
    try {
        pack.Seek(entry.offset);
        piece.CopyFrom(pack, entry.size);
    } catch (...) {
        piece.Close();
        RemoveFileQuietly(piecePath);
        throw;
    }
}

void ExtractMembers(RunContext& run, FileStream& pack, const Directory& directory) {
    const std::string& path = pack.Path();
    const std::vector<std::uint32_t> order = OffsetOrder(directory);
    const TextLines names = ReadNamesList(pack, directory.entries[kNamesListIndex]);
    CheckNamesCoverMembers(path, directory, order, names);

    const auto count = static_cast<std::uint32_t>(directory.entries.size());
    const int digits = IndexDigits(count);
    ShowFileStatus(run, "Processing ", path);
    for (std::uint32_t k = 0; k < count; ++k) {
        const Entry& entry = directory.entries[order[k]];
        if (entry.size == 0) {
            run.state.ResultLog.emplace_back("NULL");
        } else {
            const std::string piecePath =
                MakePiecePath(run, path, RelativePieceName(names[k], k, digits));
            WritePiece(pack, entry, piecePath);
            run.state.ResultLog.push_back(piecePath);
            ++run.state.stats.pieces;
            run.state.stats.bytes += entry.size;
        }
        ShowCounter(run, "Extracted: ", std::uint64_t{k} + 1, count);
        ShowPieceProgress(run, k, count);
    }
}

// ---- Insertion ------------------------------------------------------------------------------

// A piece that differs from its member and fits in its room.
struct PlannedPiece {
    std::uint32_t fileIndex = 0;
    std::string path;
    std::uint64_t length = 0;
    std::uint32_t crc = 0;
};

void CheckLinesLeft(const std::string& packPath, const TextLines& lines, std::int32_t firstLine,
                    std::uint32_t count) {
    const std::uint64_t left =
        (firstLine >= 0 && static_cast<std::uint64_t>(firstLine) <= lines.size())
            ? lines.size() - static_cast<std::uint64_t>(firstLine)
            : 0;
    if (left < count) {
        throw CorruptFileError(packPath, "the log has " + std::to_string(left) +
                                             " entry lines for its " + std::to_string(count) +
                                             " entries; " + std::to_string(count - left) +
                                             " lines are missing");
    }
}

// Looks at every entry line: a missing file is passed over, a piece that grew is reported, and
// a piece with the same size and CRC-32 as its member needs no writing.
std::vector<PlannedPiece> PlanInsertion(RunContext& run, const Directory& directory,
                                        const std::vector<std::uint32_t>& order,
                                        std::int32_t firstLine, const std::string& packPath,
                                        std::uint64_t packSize) {
    const auto count = static_cast<std::uint32_t>(directory.entries.size());
    std::vector<PlannedPiece> plan;
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::string& line = run.state.ReplayList[static_cast<std::size_t>(firstLine) + k];
        const Entry& entry = directory.entries[order[k]];
        if (FileExists(line)) {
            FileStream piece = FileStream::Open(line, omRead);
            const std::uint64_t length = piece.Size();
            if (length > entry.size) {
                run.surface.AddResultLine(line + " greater by " +
                                          std::to_string(length - entry.size) + " bytes.");
            } else {
                const std::uint32_t crc = Crc32OfStream(piece);
                if (length != entry.size || crc != entry.crc) {
                    if (length > 0 && std::uint64_t{entry.offset} + length > packSize) {
                        throw CorruptFileError(packPath, "member " + std::to_string(order[k]) +
                                                             " runs past the end of the file");
                    }
                    plan.push_back(PlannedPiece{order[k], line, length, crc});
                }
            }
        }
        ShowCounter(run, "Inserted: ", std::uint64_t{k} + 1, count);
        ShowPieceProgress(run, k, count);
    }
    return plan;
}

// Rollback journal (little-endian), written beside the pack before its first byte changes and
// removed once the new directory is on disk:
//   0   8     magic "EITJRNL1"
//   8   u64   size of the pack
//   16  u32   entry count N
//   20  16*N  the old directory
//   ..  u32   range count R
//   R ranges: u64 offset in the pack, u32 length, length bytes: the old bytes there
//   ..  u32   CRC-32 of every byte before it
// It is written as name + ".tmp", flushed, then renamed, so a journal under the final name is
// always complete.
constexpr std::array<std::uint8_t, 8> kJournalMagic = {'E', 'I', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint64_t kJournalHeaderSize = 8 + 8 + 4;
constexpr std::uint64_t kRangeHeaderSize = 8 + 4;

std::string JournalTempPath(const std::string& journalPath) {
    return journalPath + ".tmp";
}

// Collects the journal in a buffer of 1 MiB and writes it in whole blocks, so that thousands of
// small ranges do not cost two writes each.
class JournalWriter {
public:
    JournalWriter(RunContext& run, const std::string& path)
        : m_run(run), m_file(FileStream::Open(path, omCreate)), m_buffer(kBufferSize) {}

    void Append(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            const std::size_t chunk = std::min(bytes.size(), Room());
            std::copy_n(bytes.data(), chunk, m_buffer.data() + m_used);
            m_used += chunk;
            bytes = bytes.subspan(chunk);
        }
    }

    // The old bytes of a range, read from the pack straight into the buffer.
    void AppendFrom(FileStream& pack, std::uint64_t offset, std::uint64_t length) {
        pack.Seek(offset);
        while (length > 0) {
            const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, Room()));
            pack.ReadExact(m_buffer.data() + m_used, chunk);
            m_used += chunk;
            length -= chunk;
        }
    }

    void Finish() {
        WriteBuffer();
        std::vector<std::uint8_t> crc;
        AppendU32le(crc, m_crc);
        m_run.BeforeWrite(m_file.Path());
        m_file.Write(crc.data(), crc.size());
        m_run.BeforeWrite(m_file.Path());
        m_file.Flush();
        m_file.Close();
    }

private:
    static constexpr std::size_t kBufferSize = 1 << 20;

    // Room left in the buffer, writing it out first when it is full.
    std::size_t Room() {
        if (m_used == m_buffer.size()) {
            WriteBuffer();
        }
        return m_buffer.size() - m_used;
    }

    void WriteBuffer() {
        if (m_used == 0) {
            return;
        }
        const std::span<const std::uint8_t> bytes(m_buffer.data(), m_used);
        m_crc = Crc32Update(m_crc, bytes);
        m_run.BeforeWrite(m_file.Path());
        m_file.Write(bytes.data(), bytes.size());
        m_used = 0;
    }

    RunContext& m_run;
    FileStream m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::uint32_t m_crc = 0;
};

void WriteJournalFile(RunContext& run, FileStream& pack, const Directory& directory,
                      const std::vector<PlannedPiece>& plan, const std::string& path) {
    JournalWriter journal(run, path);
    std::vector<std::uint8_t> header(kJournalMagic.begin(), kJournalMagic.end());
    AppendU64le(header, pack.Size());
    AppendU32le(header, static_cast<std::uint32_t>(directory.entries.size()));
    header.insert(header.end(), directory.raw.begin(), directory.raw.end());
    const auto ranges = std::count_if(plan.begin(), plan.end(),
                                      [](const PlannedPiece& piece) { return piece.length > 0; });
    AppendU32le(header, static_cast<std::uint32_t>(ranges));
    journal.Append(header);

    for (const PlannedPiece& piece : plan) {
        if (piece.length == 0) {
            continue;
        }
        const std::uint32_t offset = directory.entries[piece.fileIndex].offset;
        std::vector<std::uint8_t> range;
        AppendU64le(range, offset);
        AppendU32le(range, static_cast<std::uint32_t>(piece.length));
        journal.Append(range);
        journal.AppendFrom(pack, offset, piece.length);
    }
    journal.Finish();
}

// The journal under its final name, durable, before the pack is touched.
void WriteJournal(RunContext& run, FileStream& pack, const Directory& directory,
                  const std::vector<PlannedPiece>& plan, const std::string& journalPath) {
    const std::string temp = JournalTempPath(journalPath);
    try {
        WriteJournalFile(run, pack, directory, plan, temp);
        run.BeforeWrite(journalPath);
        RenameFile(temp, journalPath);
    } catch (...) {
        RemoveFileQuietly(temp);
        throw;
    }
    SyncDirectory(DirectoryPart(journalPath));
}

void WritePlannedPieces(RunContext& run, FileStream& pack, Directory& directory,
                        const std::vector<PlannedPiece>& plan) {
    for (const PlannedPiece& planned : plan) {
        Entry& entry = directory.entries[planned.fileIndex];
        if (planned.length > 0) {
            FileStream piece = FileStream::Open(planned.path, omRead);
            if (piece.Size() != planned.length) {
                throw FileReadError(planned.path, "the piece changed its length during the "
                                                  "insertion");
            }
            pack.Seek(entry.offset);
            run.BeforeWrite(pack.Path());
            pack.CopyFrom(piece, planned.length);
        }
        entry.size = static_cast<std::uint32_t>(planned.length);
        entry.crc = planned.crc;
        StoreEntry(directory.raw, planned.fileIndex, entry);
        ++run.state.stats.pieces;
        run.state.stats.bytes += planned.length;
    }
    pack.Seek(kDirectoryOffset);
    run.BeforeWrite(pack.Path());
    pack.Write(directory.raw.data(), directory.raw.size());
    run.BeforeWrite(pack.Path());
    pack.Flush();
}

void RemoveJournal(const std::string& journalPath) {
    RemoveFileQuietly(journalPath);
    if (FileExists(journalPath)) {
        // A journal left behind would undo this insertion at the next run.
        throw FileWriteError(journalPath, "cannot remove the journal of a finished insertion; "
                                          "remove it by hand before the pack is used again");
    }
    SyncDirectory(DirectoryPart(journalPath));
}

// ---- Journal restoration --------------------------------------------------------------------

struct JournalContents {
    std::uint64_t packSize = 0;
    std::vector<std::uint8_t> directory; // the old 16*N bytes
    std::uint64_t rangesAt = 0;          // position of the first range header
    std::uint32_t rangeCount = 0;
};

struct JournalRange {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

JournalRange ReadRangeHeader(FileStream& journal) {
    std::array<std::uint8_t, kRangeHeaderSize> bytes{};
    journal.ReadExact(bytes.data(), bytes.size());
    ByteReader reader(bytes);
    JournalRange range;
    range.offset = reader.U32le();
    range.offset |= std::uint64_t{reader.U32le()} << 32;
    range.length = reader.U32le();
    return range;
}

std::uint32_t JournalChecksum(FileStream& journal, std::uint64_t length) {
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kBlockSize)));
    std::uint32_t crc = 0;
    journal.Seek(0);
    while (length > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, block.size()));
        journal.ReadExact(block.data(), chunk);
        crc = Crc32Update(crc, std::span<const std::uint8_t>(block.data(), chunk));
        length -= chunk;
    }
    return crc;
}

// Checks the whole journal before anything is restored: its checksum, and that every field
// stays inside the journal and every range inside the pack it belongs to.
JournalContents ReadJournal(FileStream& journal, FileStream& pack) {
    const std::string& path = journal.Path();
    const std::uint64_t size = journal.Size();
    if (size < kJournalHeaderSize + 4 + 4) {
        throw CorruptFileError(path,
                               "the journal is too short (" + std::to_string(size) + " bytes)");
    }
    const std::uint64_t body = size - 4;
    std::array<std::uint8_t, 4> stored{};
    journal.Seek(body);
    journal.ReadExact(stored.data(), stored.size());
    if (JournalChecksum(journal, body) != U32At(stored)) {
        throw CorruptFileError(path, "the journal's checksum does not match its contents");
    }

    std::array<std::uint8_t, kJournalHeaderSize> header{};
    journal.Seek(0);
    journal.ReadExact(header.data(), header.size());
    ByteReader reader(header);
    const auto magic = reader.Bytes(kJournalMagic.size());
    if (!std::equal(magic.begin(), magic.end(), kJournalMagic.begin())) {
        throw CorruptFileError(path, "not a data pack journal");
    }
    JournalContents contents;
    contents.packSize = reader.U32le();
    contents.packSize |= std::uint64_t{reader.U32le()} << 32;
    const std::uint32_t count = reader.U32le();
    if (kEntrySize * count > body - kJournalHeaderSize - 4) {
        throw CorruptFileError(path, "the journal's directory of " + std::to_string(count) +
                                         " entries runs past its end");
    }
    if (contents.packSize != pack.Size()) {
        throw CorruptFileError(path, "the journal was written for a pack of " +
                                         std::to_string(contents.packSize) + " bytes, but " +
                                         pack.Path() + " has " + std::to_string(pack.Size()));
    }
    if (count != ReadEntryCount(pack, contents.packSize) ||
        kDirectoryOffset + kEntrySize * count > contents.packSize) {
        throw CorruptFileError(path, "the journal's directory does not match " + pack.Path());
    }
    contents.directory.resize(static_cast<std::size_t>(kEntrySize * count));
    journal.ReadExact(contents.directory.data(), contents.directory.size());
    std::array<std::uint8_t, 4> rangeCount{};
    journal.ReadExact(rangeCount.data(), rangeCount.size());
    contents.rangeCount = U32At(rangeCount);
    contents.rangesAt = journal.Position();

    for (std::uint32_t r = 0; r < contents.rangeCount; ++r) {
        if (body - journal.Position() < kRangeHeaderSize) {
            throw CorruptFileError(path,
                                   "range " + std::to_string(r) + " runs past the journal's end");
        }
        const JournalRange range = ReadRangeHeader(journal);
        if (range.length > body - journal.Position()) {
            throw CorruptFileError(path,
                                   "range " + std::to_string(r) + " runs past the journal's end");
        }
        if (range.offset > contents.packSize || range.length > contents.packSize - range.offset) {
            throw CorruptFileError(path, "range " + std::to_string(r) + " lies outside the pack");
        }
        journal.Seek(journal.Position() + range.length);
    }
    if (journal.Position() != body) {
        throw CorruptFileError(path, "the journal has bytes after its last range");
    }
    return contents;
}

void RestoreFromJournal(RunContext& run, FileStream& pack, const std::string& journalPath) {
    FileStream journal = FileStream::Open(journalPath, omRead);
    const JournalContents contents = ReadJournal(journal, pack);
    journal.Seek(contents.rangesAt);
    for (std::uint32_t r = 0; r < contents.rangeCount; ++r) {
        const JournalRange range = ReadRangeHeader(journal);
        pack.Seek(range.offset);
        run.BeforeWrite(pack.Path());
        pack.CopyFrom(journal, range.length);
    }
    pack.Seek(kDirectoryOffset);
    run.BeforeWrite(pack.Path());
    pack.Write(contents.directory.data(), contents.directory.size());
    run.BeforeWrite(pack.Path());
    pack.Flush();
}

// Restores the pack open as pack when a journal lies beside it. A journal still under its
// temporary name was never complete, and the pack was not touched after it.
bool RecoverOpenPack(RunContext& run, FileStream& pack) {
    const std::string journalPath = DataPackJournalPath(pack.Path());
    const std::string temp = JournalTempPath(journalPath);
    if (FileExists(temp)) {
        RemoveFileQuietly(temp);
    }
    if (!FileExists(journalPath)) {
        return false;
    }
    RestoreFromJournal(run, pack, journalPath);
    RemoveJournal(journalPath);
    run.surface.AddResultLine(pack.Path() + " was restored from an interrupted insertion.");
    return true;
}

bool JournalLeftBeside(const std::string& packPath) {
    const std::string journalPath = DataPackJournalPath(packPath);
    return FileExists(journalPath) || FileExists(JournalTempPath(journalPath));
}

// Writes the plan all or nothing: the journal first, then the pieces and the directory; when
// anything fails on the way, the pack is put back from the journal before the error goes on.
void CommitPlan(RunContext& run, FileStream& pack, Directory& directory,
                const std::vector<PlannedPiece>& plan) {
    const std::string journalPath = DataPackJournalPath(pack.Path());
    WriteJournal(run, pack, directory, plan, journalPath);
    try {
        WritePlannedPieces(run, pack, directory, plan);
    } catch (...) {
        try {
            RestoreFromJournal(run, pack, journalPath);
            RemoveJournal(journalPath);
        } catch (...) {
            // The journal stays; the next run that opens the pack restores it.
        }
        throw;
    }
    RemoveJournal(journalPath);
}

} // namespace

// ---- Public operations ----------------------------------------------------------------------

std::string DataPackJournalPath(const std::string& packPath) {
    return packPath + ".eitool-journal";
}

bool RecoverDataPack(RunContext& run, const std::string& packPath) {
    if (!JournalLeftBeside(packPath)) {
        return false;
    }
    FileStream pack = FileStream::Open(packPath, omReadWrite);
    return RecoverOpenPack(run, pack);
}

void ExtractDataPack(RunContext& run, const std::string& path) {
    RecoverDataPack(run, path);
    FileStream pack = FileStream::Open(path, omRead);
    const std::uint64_t fileSize = pack.Size();
    const std::uint32_t count = ReadEntryCount(pack, fileSize);
    ShowFileStatus(run, "Preparing ", path);
    if (count == 0) {
        return;
    }
    const std::optional<Directory> directory =
        ReadCheckedDirectory(run, pack, path, count, fileSize);
    if (directory) {
        ExtractMembers(run, pack, *directory);
    }
}

std::int32_t InsertDataPack(RunContext& run, const std::string& name, std::int32_t firstLine) {
    if (!run.state.SourceStream || !run.state.SourceStream->IsOpen()) {
        throw RunError(name + ": no data pack is open for the insertion");
    }
    FileStream& pack = *run.state.SourceStream;
    RecoverOpenPack(run, pack);
    const std::uint64_t packSize = pack.Size();
    const std::uint32_t count = ReadEntryCount(pack, packSize);
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
    const std::vector<std::uint32_t> order = OffsetOrder(*directory);

    ShowFileStatus(run, "Processing ", name);
    const std::vector<PlannedPiece> plan =
        PlanInsertion(run, *directory, order, firstLine, pack.Path(), packSize);
    if (!plan.empty()) {
        CommitPlan(run, pack, *directory, plan);
    }
    return static_cast<std::int32_t>(firstLine + std::int64_t{count});
}

} // namespace eitool
