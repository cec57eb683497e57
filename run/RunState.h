#pragma once

#include "common/FileStream.h"
#include "common/LineBuffer.h"
#include "common/TextLines.h"
#include "run/PieceIndex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

namespace eitool {

// Input kinds: what the entries of the input list are.
enum : std::uint8_t {
    kKindDataPacks = 1,
    kKindExtendedImages = 2,
    kKindFonts = 3,
    kKindLogs = 4,
    kKindProjectList = 5,
    kKindNone = 6, // ReplayKind only: no inserter
};

// What an extraction run did with the target's old result.log.
enum class OldResultLog {
    Untouched, // no piece was written yet
    NoneThere, // pieces were written; there was no result.log to set aside
    SetAside,  // pieces were written; the old log was renamed to its set-aside name
};

// What an insertion does with pieces that grew beyond their pack members.
enum class GrowMode {
    Refuse,  // each is a results line and its member stays as it was
    Ask,     // the user is asked once per run (RunContext::confirmGrow) whether packs are rebuilt
    Rebuild, // a pack with such pieces is rebuilt so that they fit
};

// Counts for the summary of a run (RunSummary), which the command line prints and the window's
// frame shows; the results pane never shows them.
struct RunStats {
    std::uint64_t files = 0;
    std::uint64_t pieces = 0;
    std::uint64_t bytes = 0;
    // Entry lines of the replayed logs that name a piece, and those of them that were not found.
    std::uint64_t piecesNamed = 0;
    std::uint64_t piecesMissing = 0;
    // Unchanged pieces whose CRC-32 was taken from the log's index instead of their bytes.
    std::uint64_t piecesFromIndex = 0;
};

// The state that the batch run, the log replay and the handlers share. The form model owns the
// one instance; handlers reach it through their RunContext.
struct RunState {
    TextLines inputList;
    std::uint8_t InputKind = 0;
    std::string TargetDirectory;
    TextLines ResultLog;
    // The log being replayed, held as its bytes: a log may be far larger than its lines matter.
    LineBuffer ReplayList;
    std::uint8_t ReplayKind = 0;
    std::unique_ptr<FileStream> SourceStream;
    std::string SourcePath;
    std::string ScanRoot;
    bool ListFromScan = false;
    std::uint32_t ExtractedBytes = 0;
    // The stop flag: 1 after Stop was pressed during the run (the run ends after the current
    // file), 2 after it was pressed again while a file was handled (that file is aborted).
    int StopTag = 0;
    // The data packs whose insertion went in completely during this run, in order.
    TextLines CompletedPacks;

    // Directories known to exist below the target during this run, so that piece paths do not
    // ask the file system again for every piece. Cleared at the start of every run.
    std::unordered_set<std::string> KnownDirectories;
    // The pieces written by the sources of this run so far (in the form PieceKey gives), so that
    // a later source with the same piece names cannot overwrite them. Cleared at the start of
    // every run.
    std::unordered_set<std::string> WrittenPieces;
    // The user agreed during this run that edited pieces are replaced. Cleared at the start of
    // every run.
    bool ReplaceEditedPieces = false;
    // What the extraction did with the result.log it found in the target before its first piece
    // (SetOldResultLogAside). Cleared at the start of every run.
    OldResultLog OldLog = OldResultLog::Untouched;
    // A dry run of an insertion: every inserter checks and reports (StatusSurface::AddPlanLine)
    // what it would do, and no file is written. Set by the front end; a run does not clear it.
    bool DryRun = false;
    // Set by the front end; a run does not clear it.
    GrowMode Grow = GrowMode::Refuse;
    // The user's answer to the question of GrowMode::Ask during this run: 0 not asked yet,
    // 1 rebuild, 2 refuse. Cleared at the start of every run.
    int GrowAnswer = 0;
    // An insertion reads every piece and does not consult the logs' indexes (it still writes
    // them from what it read). Set by the front end; a run does not clear it.
    bool NoIndex = false;
    // The margin of the racy rule of PieceIndex; only tests change it.
    std::int64_t IndexRacyMargin = PieceIndex::kRacyMargin;
    // The index of the log being replayed; none outside a replay.
    std::unique_ptr<PieceIndex> LogIndex;
    // Set by an inserter that added the pieces its block names, and those not found, to stats
    // itself, having looked at every one (the replay then does not look again). The replay
    // clears it before each inserter.
    bool PiecesCounted = false;
    RunStats stats;
};

} // namespace eitool
