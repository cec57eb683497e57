#include "formats/DataPackJournal.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"

#include <algorithm>
#include <array>

namespace eitool::datapack {

namespace {

// Rollback journal (little-endian), written beside the pack before its first byte changes and
// removed once the new directory is on disk:
//   0   8     magic "EITJRNL1"
//   8   u64   size of the pack
//   16  u32   entry count N
//   20  16*N  the old directory
//   ..  u32   range count R
//   R ranges: u64 offset in the pack, u32 length, length bytes: the old bytes there
//   ..  u32   CRC-32 of every byte before it
// It is written through a pending file, so a journal under the final name is always complete.
constexpr std::array<std::uint8_t, 8> kJournalMagic = {'E', 'I', 'T', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint64_t kJournalHeaderSize = 8 + 8 + 4;
constexpr std::uint64_t kRangeCountSize = 4;
constexpr std::uint64_t kRangeHeaderSize = 8 + 4;
constexpr std::uint64_t kChecksumSize = 4;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// Collects the journal in a buffer of 1 MiB and writes it in whole blocks, so that thousands of
// small ranges do not cost two writes each.
class JournalWriter {
public:
    JournalWriter(RunContext& run, FileStream& file)
        : m_run(run), m_file(file), m_buffer(kBlockSize) {}

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

    // Writes what is left and the checksum.
    void Finish() {
        WriteBuffer();
        std::vector<std::uint8_t> crc;
        AppendU32le(crc, m_crc);
        m_run.BeforeWrite(m_file.Path());
        m_file.Write(crc.data(), crc.size());
    }

private:
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
    FileStream& m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::uint32_t m_crc = 0;
};

void WriteJournalContents(JournalWriter& journal, FileStream& pack,
                          std::span<const std::uint8_t> directoryBytes,
                          const std::vector<JournalRange>& ranges) {
    std::vector<std::uint8_t> header(kJournalMagic.begin(), kJournalMagic.end());
    AppendU64le(header, pack.Size());
    AppendU32le(header, static_cast<std::uint32_t>(directoryBytes.size() / kEntrySize));
    header.insert(header.end(), directoryBytes.begin(), directoryBytes.end());
    AppendU32le(header, static_cast<std::uint32_t>(ranges.size()));
    journal.Append(header);
    for (const JournalRange& range : ranges) {
        std::vector<std::uint8_t> rangeHeader;
        AppendU64le(rangeHeader, range.offset);
        AppendU32le(rangeHeader, static_cast<std::uint32_t>(range.length));
        journal.Append(rangeHeader);
        journal.AppendFrom(pack, range.offset, range.length);
    }
    journal.Finish();
}

// ---- Reading and checking -------------------------------------------------------------------

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

// The length of the journal before its checksum, once the checksum matches.
std::uint64_t CheckChecksum(FileStream& journal) {
    const std::uint64_t size = journal.Size();
    if (!RangeFits(0, kJournalHeaderSize + kRangeCountSize + kChecksumSize, size)) {
        throw CorruptFileError(journal.Path(),
                               "the journal is too short (" + std::to_string(size) + " bytes)");
    }
    const std::uint64_t body = size - kChecksumSize;
    journal.Seek(body);
    const std::vector<std::uint8_t> stored = ReadBytes(journal, kChecksumSize);
    if (JournalChecksum(journal, body) != ByteReader(stored).U32le()) {
        throw CorruptFileError(journal.Path(),
                               "the journal's checksum does not match its contents");
    }
    return body;
}

// The header, checked against the pack it belongs to; the journal is left at the directory.
JournalContents ReadHeader(FileStream& journal, FileStream& pack, std::uint64_t body) {
    const std::string& path = journal.Path();
    journal.Seek(0);
    const std::vector<std::uint8_t> header = ReadBytes(journal, kJournalHeaderSize);
    ByteReader reader(header);
    const auto magic = reader.Bytes(kJournalMagic.size());
    if (!std::equal(magic.begin(), magic.end(), kJournalMagic.begin())) {
        throw CorruptFileError(path, "not a data pack journal");
    }
    JournalContents contents;
    contents.packSize = reader.U64le();
    contents.entryCount = reader.U32le();
    const std::uint32_t count = contents.entryCount;
    if (!RangeFits(kJournalHeaderSize, kEntrySize * count + kRangeCountSize, body)) {
        throw CorruptFileError(path, "the journal's directory of " + std::to_string(count) +
                                         " entries runs past its end");
    }
    if (contents.packSize != pack.Size()) {
        throw CorruptFileError(path, "the journal was written for a pack of " +
                                         std::to_string(contents.packSize) + " bytes, but " +
                                         pack.Path() + " has " + std::to_string(pack.Size()));
    }
    if (count != ReadEntryCount(pack, contents.packSize) ||
        !RangeFits(kDirectoryOffset, kEntrySize * count, contents.packSize)) {
        throw CorruptFileError(path, "the journal's directory does not match " + pack.Path());
    }
    return contents;
}

// Every range must stay inside the journal and inside the pack, and the last one must end where
// the checksum begins.
void CheckRanges(FileStream& journal, const JournalContents& contents, std::uint64_t body) {
    const std::string& path = journal.Path();
    for (std::uint32_t r = 0; r < contents.rangeCount; ++r) {
        if (!RangeFits(journal.Position(), kRangeHeaderSize, body)) {
            throw CorruptFileError(path,
                                   "range " + std::to_string(r) + " runs past the journal's end");
        }
        const JournalRange range = ReadRangeHeader(journal);
        if (!RangeFits(journal.Position(), range.length, body)) {
            throw CorruptFileError(path,
                                   "range " + std::to_string(r) + " runs past the journal's end");
        }
        if (!RangeFits(range.offset, range.length, contents.packSize)) {
            throw CorruptFileError(path, "range " + std::to_string(r) + " lies outside the pack");
        }
        journal.Seek(journal.Position() + range.length);
    }
    if (journal.Position() != body) {
        throw CorruptFileError(path, "the journal has bytes after its last range");
    }
}

// Checks the whole journal before anything is restored: its checksum, and that every field
// stays inside the journal and every range inside the pack it belongs to.
JournalContents ReadJournal(FileStream& journal, FileStream& pack) {
    const std::uint64_t body = CheckChecksum(journal);
    JournalContents contents = ReadHeader(journal, pack, body);
    contents.directory = ReadBytes(journal, kEntrySize * contents.entryCount);
    contents.rangeCount = ByteReader(ReadBytes(journal, kRangeCountSize)).U32le();
    contents.rangesAt = journal.Position();
    CheckRanges(journal, contents, body);
    return contents;
}

} // namespace

void WriteJournal(RunContext& run, FileStream& pack, std::span<const std::uint8_t> directoryBytes,
                  const std::vector<JournalRange>& ranges, const std::string& journalPath) {
    PendingFile pending(journalPath, run.writeHook);
    JournalWriter journal(run, pending.Create());
    WriteJournalContents(journal, pack, directoryBytes, ranges);
    pending.Commit();
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

void RemoveJournal(const std::string& journalPath) {
    RemoveFileQuietly(journalPath);
    if (FileExists(journalPath)) {
        // A journal left behind would undo this insertion at the next run.
        throw FileWriteError(journalPath, "cannot remove the journal of a finished insertion; "
                                          "remove it by hand before the pack is used again");
    }
    SyncDirectory(DirectoryPart(journalPath));
}

// A journal still under its temporary name was never complete, and the pack was not touched
// after it.
bool RecoverOpenPack(RunContext& run, FileStream& pack) {
    const std::string journalPath = DataPackJournalPath(pack.Path());
    RemoveFileQuietly(PendingFile::TemporaryPathOf(journalPath));
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
    return FileExists(journalPath) || FileExists(PendingFile::TemporaryPathOf(journalPath));
}

} // namespace eitool::datapack

namespace eitool {

std::string DataPackJournalPath(const std::string& packPath) {
    return packPath + ".eitool-journal";
}

} // namespace eitool
