#include "formats/DataPackJournal.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "formats/BlockWriter.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace eitool::datapack {

namespace {

// Rollback journal (little-endian), written beside the resolved pack file before the pack's first
// byte changes and removed once the new directory is on disk:
//   0   8     magic "EITJRNL2"
//   8   u64   device of the pack (Windows: volume serial number)
//   16  u64   file number of the pack on it (inode; Windows: file index)
//   24  u64   size of the pack
//   32  u32   entry count N
//   36  16*N  the old directory
//   ..  u32   range count R
//   R ranges: u64 offset in the pack, u32 length, length bytes: the old bytes there
//   ..  u32   CRC-32 of every byte before it
// It is written through a pending file, so a journal under the final name is always complete.
// NOTE: the first format ("EITJRNL1", without the pack's identity) is recognised and refused: it
// cannot show which pack it was written for.
constexpr std::size_t kMagicSize = 8;
constexpr std::array<std::uint8_t, kMagicSize> kJournalMagic = {'E', 'I', 'T', 'J',
                                                                'R', 'N', 'L', '2'};
constexpr std::array<std::uint8_t, kMagicSize> kOldJournalMagic = {'E', 'I', 'T', 'J',
                                                                   'R', 'N', 'L', '1'};
constexpr std::uint64_t kJournalHeaderSize = kMagicSize + 8 + 8 + 8 + 4;
constexpr std::uint64_t kRangeCountSize = 4;
constexpr std::uint64_t kRangeHeaderSize = 8 + 4;
constexpr std::uint64_t kChecksumSize = 4;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr std::size_t kWriteBlockSize = std::size_t{4} << 20;
constexpr std::size_t kPage = AlignedBuffer::kAlignment;
} // namespace

// Collects the journal in a buffer of 4 MiB and writes it in whole blocks, so that thousands of
// small ranges do not cost two writes each. The blocks go straight to the disk where the system
// allows it: the journal is read back only after a crash, and a new file of that size costs far
// more in the cache than on the disk. What is left at the end goes through the cache.
// The range count is only known at the end, so the disk page that holds it is written again
// last; the checksum is put together from the sums of the parts before, of that page and after.
class JournalWriter {
public:
    JournalWriter(RunContext& run, FileStream& file)
        : m_blocks(file, kWriteBlockSize, run.writeHook) {}

    void Append(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            const std::size_t chunk = std::min(bytes.size(), Room());
            std::copy_n(bytes.data(), chunk, m_blocks.Filling() + m_used);
            m_used += chunk;
            bytes = bytes.subspan(chunk);
        }
    }

    // The old bytes of a range, read from the pack straight into the buffer.
    void AppendFrom(const FileStream& pack, std::uint64_t offset, std::uint64_t length) {
        while (length > 0) {
            const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, Room()));
            pack.ReadAt(offset, std::span(m_blocks.Filling() + m_used, chunk));
            m_used += chunk;
            offset += chunk;
            length -= chunk;
        }
    }

    // The position of the u32 that Finish fills in; it is 4 bytes after a multiple of 16 and so
    // never straddles two blocks.
    void LeaveCountAt(std::uint64_t position) { m_countAt = position; }

    // Fills in the count and writes the count page again, then what is left, its whole disk
    // blocks first, and the checksum.
    void Finish(std::uint32_t count) {
        m_blocks.Wait();
        std::uint8_t* const buffer = m_blocks.Filling();
        std::array<std::uint8_t, 4> countBytes{};
        StoreU32le(countBytes, 0, count);
        std::vector<BlockWriter::Piece> pieces;
        if (m_countPage) {
            std::copy(countBytes.begin(), countBytes.end(),
                      m_countPage->data() + (m_countAt - m_countPageAt));
            const std::uint32_t page =
                Crc32Update(0, std::span<const std::uint8_t>(m_countPage->data(), kPage));
            m_before = Crc32Combine(m_before, page, kPage);
            pieces.push_back({m_countPageAt, m_countPage->data(), kPage, true});
        } else {
            std::copy(countBytes.begin(), countBytes.end(), buffer + (m_countAt - m_written));
        }
        const std::size_t tail = m_used % AlignedBuffer::kAlignment;
        const std::size_t whole = m_used - tail;
        Sum(std::span<const std::uint8_t>(buffer, m_used));
        if (whole > 0) {
            pieces.push_back({m_written, buffer, whole, true});
        }
        if (tail > 0) {
            pieces.push_back({m_written + whole, buffer + whole, tail, false});
        }
        std::array<std::uint8_t, 4> crc{};
        StoreU32le(crc, 0, Crc32Combine(m_before, m_crc, m_summed));
        pieces.push_back({m_written + m_used, crc.data(), crc.size(), false});
        m_blocks.WriteNow(std::move(pieces));
        m_written += m_used;
        m_used = 0;
    }

private:
    // Room left in the buffer, writing it out first when it is full.
    std::size_t Room() {
        if (m_used == kWriteBlockSize) {
            WriteBuffer();
        }
        return kWriteBlockSize - m_used;
    }

    // Hands the full buffer to the writer and goes on with the spare one. The disk page with the
    // count is written with a count of 0 for now, so that the file always begins as a journal
    // does (an unfinished one is recognised and dropped), and a copy is kept for the last write.
    void WriteBuffer() {
        const std::uint8_t* const buffer = m_blocks.Filling();
        if (!m_countPage && m_countAt >= m_written && m_countAt < m_written + m_used) {
            const std::size_t pageAt =
                static_cast<std::size_t>(m_countAt - m_written) / kPage * kPage;
            Sum(std::span<const std::uint8_t>(buffer, pageAt));
            m_before = m_crc;
            m_crc = 0;
            m_summed = 0;
            m_countPage.emplace(kPage);
            std::copy_n(buffer + pageAt, kPage, m_countPage->data());
            m_countPageAt = m_written + pageAt;
            const std::size_t after = pageAt + kPage;
            Sum(std::span<const std::uint8_t>(buffer + after, m_used - after));
        } else {
            Sum(std::span<const std::uint8_t>(buffer, m_used));
        }
        m_blocks.Hand(m_written, m_used, true);
        m_written += m_used;
        m_used = 0;
    }

    void Sum(std::span<const std::uint8_t> bytes) {
        m_crc = Crc32Update(m_crc, bytes);
        m_summed += bytes.size();
    }

    std::size_t m_used = 0;
    std::uint64_t m_written = 0; // the position of the buffer's first byte
    std::uint64_t m_countAt = 0;
    // The copy of the page written again last, at m_countPageAt, and the checksum of everything
    // before it.
    std::optional<AlignedBuffer> m_countPage;
    std::uint64_t m_countPageAt = 0;
    std::uint32_t m_before = 0;
    // The checksum of the m_summed bytes summed after the block kept back (or from the start).
    std::uint32_t m_crc = 0;
    std::uint64_t m_summed = 0;
    // Declared last, so that its writer waits before the count page goes.
    DoubleBuffer m_blocks;
};

JournalStream::JournalStream(RunContext& run, FileStream& pack,
                             std::span<const std::uint8_t> directoryBytes, std::string journalPath)
    : m_run(run), m_pack(pack), m_directoryBytes(directoryBytes),
      m_journalPath(std::move(journalPath)) {}

JournalStream::~JournalStream() = default;

void JournalStream::Start() {
    m_pending = std::make_unique<PendingFile>(m_journalPath, m_run.writeHook);
    FileStream& file = m_pending->Create();
    m_identity = file.Identity();
    m_writer = std::make_unique<JournalWriter>(m_run, file);
    const FileIdentity pack = m_pack.Identity();
    std::vector<std::uint8_t> header(kJournalMagic.begin(), kJournalMagic.end());
    AppendU64le(header, pack.device);
    AppendU64le(header, pack.number);
    AppendU64le(header, pack.size);
    AppendU32le(header, static_cast<std::uint32_t>(m_directoryBytes.size() / kEntrySize));
    header.insert(header.end(), m_directoryBytes.begin(), m_directoryBytes.end());
    m_writer->LeaveCountAt(header.size());
    AppendU32le(header, 0);
    m_writer->Append(header);
}

void JournalStream::Add(std::uint64_t offset, std::uint64_t length) {
    if (!m_writer) {
        Start();
    }
    std::array<std::uint8_t, kRangeHeaderSize> rangeHeader{};
    StoreLe(rangeHeader, 0, offset, 8);
    StoreU32le(rangeHeader, 8, static_cast<std::uint32_t>(length));
    m_writer->Append(rangeHeader);
    m_writer->AppendFrom(m_pack, offset, length);
    ++m_count;
}

FileIdentity JournalStream::Commit() {
    if (!m_writer) {
        Start();
    }
    m_writer->Finish(m_count);
    m_writer.reset();
    m_pending->Commit();
    return m_identity;
}

namespace {

// ---- Reading and checking -------------------------------------------------------------------

// What the user is told about a file at the journal's name that is not applied.
std::string LeftAlone(const std::string& packPath, const std::string& advice) {
    return "; it and " + packPath + " were left alone: " + advice;
}

const char* const kMoveAway = "move it away if the pack is intact";
const char* const kDamaged = "restore the pack from a copy unless it is intact, then move the "
                             "journal away";

const char* KindText(FileKind kind) {
    switch (kind) {
    case FileKind::Regular:
        return "a regular file";
    case FileKind::Directory:
        return "a directory";
    case FileKind::Link:
        return "a link";
    case FileKind::Fifo:
        return "a FIFO";
    case FileKind::Other:
        break;
    }
    return "a device or socket";
}

// Opens the file at path for reading when it is a regular file itself (a link is not followed),
// and checks that the file opened is the one looked at.
FileStream OpenPlainFile(const std::string& path, const std::string& packPath,
                         FileIdentity& identity) {
    const std::optional<FileIdentity> entry = IdentityOfPath(path);
    if (!entry) {
        throw FileOpenError(path, "the journal vanished while " + packPath + " was opened");
    }
    if (entry->kind != FileKind::Regular) {
        throw CorruptFileError(path, std::string("this is ") + KindText(entry->kind) +
                                         ", not a journal of " + packPath +
                                         LeftAlone(packPath, kMoveAway));
    }
    FileStream file = FileStream::Open(path, omRead);
    identity = file.Identity();
    if (identity.kind != FileKind::Regular || !identity.SameFileAs(*entry)) {
        throw CorruptFileError(path, "the file changed while it was opened" +
                                         LeftAlone(packPath, kMoveAway));
    }
    return file;
}

struct JournalContents {
    std::uint64_t packSize = 0;
    std::uint32_t entryCount = 0;
    std::vector<std::uint8_t> directory; // the old 16*N bytes
    std::uint64_t rangesAt = 0;          // position of the first range header
    std::uint32_t rangeCount = 0;
};

// count bytes from the journal's position on.
std::vector<std::uint8_t> ReadBytes(FileStream& journal, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    journal.ReadExact(bytes.data(), bytes.size());
    return bytes;
}

JournalRange ReadRangeHeader(FileStream& journal) {
    const std::vector<std::uint8_t> bytes = ReadBytes(journal, kRangeHeaderSize);
    ByteReader reader(bytes);
    JournalRange range;
    range.offset = reader.U64le();
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

bool StartsWith(std::span<const std::uint8_t> bytes,
                const std::array<std::uint8_t, kMagicSize>& magic) {
    return bytes.size() <= magic.size() && std::equal(bytes.begin(), bytes.end(), magic.begin());
}

// The magic comes first, so that a file that is no journal, or one of the old format, is named
// as such rather than as a damaged journal.
void CheckMagic(FileStream& journal, const std::string& packPath) {
    const std::string& path = journal.Path();
    const std::uint64_t size = journal.Size();
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(size, kMagicSize));
    journal.Seek(0);
    const std::vector<std::uint8_t> magic = ReadBytes(journal, have);
    if (have == kMagicSize && StartsWith(magic, kOldJournalMagic)) {
        throw CorruptFileError(
            path, "this journal has an older format that does not record which pack it was "
                  "written for, so it is not applied" +
                      LeftAlone(packPath, "move it away if the pack is intact, otherwise restore "
                                          "the pack from a copy"));
    }
    if (!StartsWith(magic, kJournalMagic)) {
        throw CorruptFileError(path,
                               "this is not a data pack journal" + LeftAlone(packPath, kMoveAway));
    }
}

// The length of the journal before its checksum, once the checksum matches.
std::uint64_t CheckChecksum(FileStream& journal, const std::string& packPath) {
    const std::uint64_t size = journal.Size();
    if (!RangeFits(0, kJournalHeaderSize + kRangeCountSize + kChecksumSize, size)) {
        throw CorruptFileError(journal.Path(), "the journal is too short (" + std::to_string(size) +
                                                   " bytes)" + LeftAlone(packPath, kDamaged));
    }
    const std::uint64_t body = size - kChecksumSize;
    journal.Seek(body);
    const std::vector<std::uint8_t> stored = ReadBytes(journal, kChecksumSize);
    if (JournalChecksum(journal, body) != ByteReader(stored).U32le()) {
        throw CorruptFileError(journal.Path(),
                               "the journal's checksum does not match its contents" +
                                   LeftAlone(packPath, kDamaged));
    }
    return body;
}

// The header, checked against the pack it belongs to; the journal is left at the directory.
JournalContents ReadHeader(FileStream& journal, FileStream& pack, std::uint64_t body) {
    const std::string& path = journal.Path();
    const std::string& packPath = pack.Path();
    journal.Seek(kMagicSize);
    const std::vector<std::uint8_t> header = ReadBytes(journal, kJournalHeaderSize - kMagicSize);
    ByteReader reader(header);
    FileIdentity written;
    written.device = reader.U64le();
    written.number = reader.U64le();
    JournalContents contents;
    contents.packSize = reader.U64le();
    contents.entryCount = reader.U32le();
    const FileIdentity identity = pack.Identity();
    if (!written.SameFileAs(identity)) {
        throw CorruptFileError(
            path, "this journal was not written for " + packPath +
                      " (it belongs to another file, or the pack was replaced since)" +
                      LeftAlone(packPath, "move the journal away if the pack is intact, or "
                                          "restore it through the pack it was written for"));
    }
    if (contents.packSize != identity.size) {
        throw CorruptFileError(path, "the journal was written for " + packPath + " when it had " +
                                         std::to_string(contents.packSize) + " bytes, but it has " +
                                         std::to_string(identity.size) + " now" +
                                         LeftAlone(packPath, kDamaged));
    }
    const std::uint32_t count = contents.entryCount;
    if (!RangeFits(kJournalHeaderSize, kEntrySize * count + kRangeCountSize, body)) {
        throw CorruptFileError(path, "the journal's directory of " + std::to_string(count) +
                                         " entries runs past its end" +
                                         LeftAlone(packPath, kDamaged));
    }
    if (count != ReadEntryCount(pack, contents.packSize) ||
        !DirectoryFits(count, contents.packSize)) {
        throw CorruptFileError(path, "the journal's directory does not match " + packPath +
                                         LeftAlone(packPath, kDamaged));
    }
    return contents;
}

// Every range must stay inside the journal and inside the pack, and the last one must end where
// the checksum begins.
void CheckRanges(FileStream& journal, const JournalContents& contents, std::uint64_t body,
                 const std::string& packPath) {
    const std::string& path = journal.Path();
    for (std::uint32_t r = 0; r < contents.rangeCount; ++r) {
        const std::string range = "range " + std::to_string(r);
        if (!RangeFits(journal.Position(), kRangeHeaderSize, body)) {
            throw CorruptFileError(path, range + " runs past the journal's end" +
                                             LeftAlone(packPath, kDamaged));
        }
        const JournalRange header = ReadRangeHeader(journal);
        if (!RangeFits(journal.Position(), header.length, body)) {
            throw CorruptFileError(path, range + " runs past the journal's end" +
                                             LeftAlone(packPath, kDamaged));
        }
        if (!RangeFits(header.offset, header.length, contents.packSize)) {
            throw CorruptFileError(path, range + " lies outside the pack" +
                                             LeftAlone(packPath, kDamaged));
        }
        journal.Seek(journal.Position() + header.length);
    }
    if (journal.Position() != body) {
        throw CorruptFileError(path, "the journal has bytes after its last range" +
                                         LeftAlone(packPath, kDamaged));
    }
}

// Checks the whole journal before anything is restored: its format, its checksum, that it was
// written for this pack, and that every field stays inside the journal and every range inside
// the pack.
JournalContents ReadJournal(FileStream& journal, FileStream& pack) {
    CheckMagic(journal, pack.Path());
    const std::uint64_t body = CheckChecksum(journal, pack.Path());
    JournalContents contents = ReadHeader(journal, pack, body);
    contents.directory = ReadBytes(journal, kEntrySize * contents.entryCount);
    contents.rangeCount = ByteReader(ReadBytes(journal, kRangeCountSize)).U32le();
    contents.rangesAt = journal.Position();
    CheckRanges(journal, contents, body, pack.Path());
    return contents;
}

// Removes the file at path if it is still the regular file that was checked.
void RemoveCheckedFile(const std::string& path, const FileIdentity& checked) {
    const std::optional<FileIdentity> now = IdentityOfPath(path);
    if (!now) {
        return;
    }
    if (now->kind != FileKind::Regular || !now->SameFileAs(checked)) {
        throw FileWriteError(path, "the journal was replaced by another file while it was used; "
                                   "that file was left alone: move it away");
    }
    RemoveFileQuietly(path);
}

// A journal still under its temporary name was never complete, and the pack was not touched
// after it, so it is dropped, but only when it is what an unfinished journal can be: a regular
// file, empty or beginning with (a part of) a journal's magic.
void DropUnfinishedJournal(const std::string& journalPath, const std::string& packPath) {
    const std::string temporary = PendingFile::TemporaryPathOf(journalPath);
    if (!IdentityOfPath(temporary)) {
        return;
    }
    FileIdentity identity;
    {
        FileStream file = OpenPlainFile(temporary, packPath, identity);
        const std::size_t have =
            static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), kMagicSize));
        const std::vector<std::uint8_t> magic = ReadBytes(file, have);
        if (!StartsWith(magic, kJournalMagic) && !StartsWith(magic, kOldJournalMagic)) {
            throw CorruptFileError(temporary, "this is not an unfinished journal of " + packPath +
                                                  LeftAlone(packPath, kMoveAway));
        }
    }
    RemoveCheckedFile(temporary, identity);
}

} // namespace

FileIdentity WriteJournal(RunContext& run, FileStream& pack,
                          std::span<const std::uint8_t> directoryBytes,
                          const std::vector<JournalRange>& ranges, const std::string& journalPath) {
    JournalStream journal(run, pack, directoryBytes, journalPath);
    for (const JournalRange& range : ranges) {
        journal.Add(range.offset, range.length);
    }
    return journal.Commit();
}

FileIdentity RestoreFromJournal(RunContext& run, FileStream& pack, const std::string& journalPath) {
    FileIdentity identity;
    FileStream journal = OpenPlainFile(journalPath, pack.Path(), identity);
    const JournalContents contents = ReadJournal(journal, pack);
    journal.Seek(contents.rangesAt);
    std::vector<std::uint8_t> block;
    for (std::uint32_t r = 0; r < contents.rangeCount; ++r) {
        const JournalRange range = ReadRangeHeader(journal);
        run.BeforeWrite(pack.Path());
        for (std::uint64_t done = 0; done < range.length;) {
            const auto chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(range.length - done, kBlockSize));
            block.resize(std::max(block.size(), chunk));
            journal.ReadExact(block.data(), chunk);
            pack.WriteAt(range.offset + done, std::span<const std::uint8_t>(block.data(), chunk));
            done += chunk;
        }
    }
    run.BeforeWrite(pack.Path());
    WriteDirectory(pack, contents.directory);
    run.BeforeWrite(pack.Path());
    pack.Flush();
    return identity;
}

void RemoveJournal(const std::string& journalPath, const FileIdentity& journal) {
    RemoveCheckedFile(journalPath, journal);
    if (FileExists(journalPath)) {
        // A journal left behind would undo this insertion at the next run.
        throw FileWriteError(journalPath, "cannot remove the journal of a finished insertion; "
                                          "remove it by hand before the pack is used again");
    }
    SyncDirectory(DirectoryPart(journalPath));
}

bool RecoverOpenPack(RunContext& run, FileStream& pack) {
    const std::string journalPath = DataPackJournalPath(pack.Path());
    DropUnfinishedJournal(journalPath, pack.Path());
    if (!IdentityOfPath(journalPath)) {
        return false;
    }
    const FileIdentity journal = RestoreFromJournal(run, pack, journalPath);
    RemoveJournal(journalPath, journal);
    run.surface.AddResultLine(pack.Path() + " was restored from an interrupted insertion.");
    return true;
}

bool JournalLeftBeside(const std::string& packPath) {
    const std::string journalPath = DataPackJournalPath(packPath);
    return FileExists(journalPath) || FileExists(PendingFile::TemporaryPathOf(journalPath));
}

} // namespace eitool::datapack
