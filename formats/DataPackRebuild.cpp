#include "formats/DataPackRebuild.h"

#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "run/HandlerSupport.h"

#include <algorithm>
#include <array>

namespace eitool::datapack {

namespace {

// Offsets are 32-bit: the last member starts at 4 GiB - 1 at most and a rebuilt pack ends at
// 4 GiB at most.
constexpr std::uint64_t kLargestOffset = 0xFFFFFFFFu;
constexpr std::uint64_t kLargestPack = std::uint64_t{1} << 32;
// Old bytes are copied in steps of this many, so that progress shows and Stop is seen.
constexpr std::uint64_t kCopyStep = std::uint64_t{64} << 20;

std::uint64_t RoundUp(std::uint64_t n, std::uint32_t alignment) {
    return (n + alignment - 1) / alignment * alignment;
}

std::string Bytes(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// The file the pack's path leads to: a rebuild replaces that file, not a link to it.
std::string RebuildTarget(const std::string& packPath) {
    const std::string resolved = CanonicalPath(packPath);
    return resolved.empty() ? packPath : resolved;
}

// A grown member's range: where it starts in the old pack, and how far everything after it moves.
struct Step {
    std::uint64_t offset = 0;
    std::uint64_t shift = 0;
};

// Writes the new pack front to back: the old bytes between the written pieces, each piece at its
// new place, and zeros up to the alignment after a grown one.
class RebuildWriter {
public:
    RebuildWriter(RunContext& run, FileStream& pack, FileStream& out, std::string temporary,
                  std::uint64_t newSize)
        : m_run(run), m_pack(pack), m_out(out), m_temporary(std::move(temporary)),
          m_newSize(newSize) {}

    // Copies the old pack's bytes from m_from up to end.
    void CopyOldUpTo(std::uint64_t end) {
        while (m_from < end) {
            const std::uint64_t n = std::min(end - m_from, kCopyStep);
            BeforeWrite();
            m_pack.Seek(m_from);
            m_out.CopyFrom(m_pack, n);
            m_from += n;
            Advanced();
        }
    }

    void WritePiece(const PlannedPiece& piece) {
        BeforeWrite();
        if (piece.bytes) {
            m_out.Write(piece.bytes.get(), static_cast<std::size_t>(piece.length));
        } else if (piece.length > 0) {
            FileStream file = OpenPieceForWriting(piece.path, piece.length);
            m_out.CopyFrom(file, piece.length);
        }
        Advanced();
    }

    void WriteZeros(std::uint64_t count) {
        static constexpr std::array<std::uint8_t, 2048> kZeros{};
        // Fewer than the alignment, which is at most 2048.
        m_out.Write(kZeros.data(), static_cast<std::size_t>(count));
    }

    // The old pack is read on from offset.
    void SkipTo(std::uint64_t offset) { m_from = offset; }

private:
    void BeforeWrite() {
        if (AbortRequested(m_run)) {
            throw RunAborted(ShownPath(m_pack.Path()) +
                             ": the rebuild was aborted; the pack is unchanged");
        }
        m_run.BeforeWrite(m_temporary);
    }

    void Advanced() {
        const auto percent =
            static_cast<int>(m_out.Position() * 100 / std::max<std::uint64_t>(m_newSize, 1));
        if (percent != m_shown) {
            m_shown = percent;
            m_run.surface.SetExtracted("Rebuilding: " + std::to_string(percent) + "%");
            UpdateFileProgress(m_run.surface, percent);
        }
    }

    RunContext& m_run;
    FileStream& m_pack;
    FileStream& m_out;
    const std::string m_temporary;
    const std::uint64_t m_newSize;
    std::uint64_t m_from = 0;
    int m_shown = -1;
};

} // namespace

std::uint32_t PackAlignment(const std::vector<DataPackEntry>& entries) {
    std::uint32_t alignment = 2048;
    for (const DataPackEntry& entry : entries) {
        while (entry.size != 0 && entry.offset % alignment != 0) {
            alignment /= 2;
        }
    }
    return alignment;
}

RebuildLayout PlanRebuild(const Directory& directory, const std::vector<std::uint32_t>& order,
                          const std::vector<PlannedPiece>& plan, std::uint64_t fileSize) {
    const std::vector<DataPackEntry>& entries = directory.entries;
    RebuildLayout layout;
    layout.oldSize = fileSize;
    layout.alignment = PackAlignment(entries);

    // Members move as blocks: one that overlaps another in part would be torn apart.
    const std::uint64_t directoryEnd = kDirectoryOffset + kEntrySize * entries.size();
    std::uint32_t head = 0;
    std::uint64_t reach = 0;
    bool any = false;
    for (const std::uint32_t index : order) {
        const DataPackEntry& entry = entries[index];
        if (entry.size == 0) {
            continue;
        }
        if (entry.offset < directoryEnd) {
            layout.refusal = "member " + std::to_string(index) + " lies inside the directory";
            return layout;
        }
        const std::uint64_t end = std::uint64_t{entry.offset} + entry.size;
        if (any && entry.offset < reach) {
            const DataPackEntry& first = entries[head];
            if (entry.offset != first.offset || entry.size != first.size) {
                layout.refusal = "members " + std::to_string(head) + " and " +
                                 std::to_string(index) +
                                 " overlap in part, so their bytes cannot be moved apart";
                return layout;
            }
        } else {
            head = index;
        }
        reach = any ? std::max(reach, end) : end;
        any = true;
    }

    // Each grown range moves what follows it by its growth, rounded up to the alignment; the
    // members that share a range have one piece that writes it.
    std::vector<Step> steps;
    std::uint64_t growth = 0;
    for (const PlannedPiece& piece : plan) {
        if (!piece.grown) {
            continue;
        }
        const DataPackEntry& entry = entries[piece.fileIndex];
        ++layout.grownPieces;
        if (piece.writesBytes) {
            layout.grownBytes += piece.length - entry.size;
            steps.push_back({entry.offset, RoundUp(piece.length - entry.size, layout.alignment)});
            growth += steps.back().shift;
        }
    }
    std::sort(steps.begin(), steps.end(),
              [](const Step& a, const Step& b) { return a.offset < b.offset; });
    layout.newSize = fileSize + growth;
    if (layout.newSize > kLargestPack) {
        layout.refusal = "it would grow to " + Bytes(layout.newSize) +
                         ", past the 4 GiB that a pack's offsets reach";
        return layout;
    }
    layout.offsets.resize(entries.size());
    std::uint64_t shift = 0;
    std::size_t next = 0;
    for (const std::uint32_t index : order) {
        const DataPackEntry& entry = entries[index];
        while (next < steps.size() && steps[next].offset < entry.offset) {
            shift += steps[next++].shift;
        }
        // An empty member far past the end of the pack could be pushed past 32 bits.
        if (entry.offset + shift > kLargestOffset) {
            layout.refusal = "it would move member " + std::to_string(index) +
                             " past the 4 GiB that a pack's offsets reach";
            return layout;
        }
        layout.offsets[index] = static_cast<std::uint32_t>(entry.offset + shift);
        layout.moved += shift != 0 && entry.size != 0 ? 1 : 0;
    }
    return layout;
}

std::string RebuildRefusal(const FileStream& pack, std::uint64_t newSize) {
    const FileIdentity identity = pack.Identity();
    if (identity.links > 1) {
        return "it has " + std::to_string(identity.links) +
               " hard links, which a rebuilt pack would part";
    }
    const std::string target = RebuildTarget(pack.Path());
    const std::optional<std::uint64_t> free = FreeSpaceOf(DirectoryPart(target));
    if (free && *free < newSize) {
        return "its disk has " + Bytes(*free) + " free, and the rebuilt pack needs " +
               Bytes(newSize) + " beside the old one";
    }
    return {};
}

void WriteRebuiltPack(RunContext& run, FileStream& pack, Directory& directory,
                      const std::vector<std::uint32_t>& order, const RebuildLayout& layout,
                      const std::vector<PlannedPiece>& plan) {
    // The pieces that write bytes, in offset order.
    std::vector<std::size_t> positionOf(directory.entries.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        positionOf[order[k]] = k;
    }
    std::vector<const PlannedPiece*> writers;
    for (const PlannedPiece& piece : plan) {
        if (piece.writesBytes && piece.length > 0) {
            writers.push_back(&piece);
        }
    }
    std::sort(writers.begin(), writers.end(), [&](const PlannedPiece* a, const PlannedPiece* b) {
        return positionOf[a->fileIndex] < positionOf[b->fileIndex];
    });

    PendingFile pending(RebuildTarget(pack.Path()), run.writeHook);
    FileStream& out = pending.Create();
    out.TakePermissionsOf(pack);
    RebuildWriter writer(run, pack, out, pending.TemporaryPath(), layout.newSize);
    run.surface.SetProgressPosition(0);
    for (const PlannedPiece* piece : writers) {
        const DataPackEntry& entry = directory.entries[piece->fileIndex];
        writer.CopyOldUpTo(entry.offset);
        writer.WritePiece(*piece);
        if (piece->grown) {
            const std::uint64_t growth = piece->length - entry.size;
            writer.WriteZeros(RoundUp(growth, layout.alignment) - growth);
            writer.SkipTo(std::uint64_t{entry.offset} + entry.size);
        } else {
            // The old bytes past a shorter piece stay, as an insertion in place leaves them.
            writer.SkipTo(std::uint64_t{entry.offset} + piece->length);
        }
    }
    writer.CopyOldUpTo(layout.oldSize);
    if (out.Position() != layout.newSize) {
        throw FileWriteError(pending.TemporaryPath(),
                             "the rebuilt pack came to " + std::to_string(out.Position()) +
                                 " bytes instead of " + std::to_string(layout.newSize));
    }

    for (std::uint32_t index = 0; index < directory.entries.size(); ++index) {
        SetOffset(directory, index, layout.offsets[index]);
    }
    for (const PlannedPiece& piece : plan) {
        SetSizeAndCrc(directory, piece.fileIndex, static_cast<std::uint32_t>(piece.length),
                      piece.crc);
    }
    run.BeforeWrite(pending.TemporaryPath());
    WriteDirectory(out, directory.raw);
#ifdef _WIN32
    // Windows renames nothing over a file that is open without sharing.
    pack.Close();
#endif
    // The new pack is durable before the rename, which is atomic: a crash leaves the old pack or
    // the new one. The directory is not synced after it (a second flush of the disk, a fifth of
    // the whole rebuild of 1 GiB here): the file system commits the rename within seconds, and a
    // power cut before that brings back the old pack, into which the same log goes again.
    pending.CommitWithoutDirectorySync();
}

std::string RebuildTemporaryPath(const std::string& packPath) {
    return PendingFile::TemporaryPathOf(RebuildTarget(packPath));
}

void RemoveLeftoverRebuild(const std::string& packPath) {
    const std::string temporary = RebuildTemporaryPath(packPath);
    if (EntryTypeOf(temporary) == EntryType::RegularFile) {
        RemoveFileQuietly(temporary);
    }
}

} // namespace eitool::datapack
