#pragma once

#include "run/RunContext.h"

#include <string>

namespace eitool {

// The inserter contract. For a "#Source:" line at index i whose file exists, the replay opens the
// file as run.state.SourceStream (read and write), sets run.state.SourcePath, and calls the
// inserter of the block's format (FormatTable: Inserter) with
//   - outputPath: the target directory joined with the source's file name, where an inserter
//     that writes a patched copy writes it;
//   - firstLine = i + 1: the block's first entry line in run.state.ReplayList.
// The inserter reads its entry lines from firstLine on, never past a framing line ("#Format:",
// "#Source:"), which always begins the next block. It returns R, the last line it has dealt with:
// every inserter returns the line after its block's entry lines (firstLine + its line count; the
// line that follows a block is a framing line or the end of the log), or firstLine - 1 (or
// less) where it dealt with no line. The replay goes on at R + 1, but never passes over a framing
// line: where one lies in firstLine..R, it goes on there. A content problem is a results line (the
// inserter adds it, or throws a Refusal, after which the replay goes on at the next framing line);
// a RunError ends the run. The inserter may close the source stream; the replay closes it after
// the call in any case.
//
// Replays one result log (insertion): reads it into ReplayList, follows its "#Format:" lines to
// choose an inserter and hands every "#Source:" file that exists, opened as SourceStream, to
// that inserter. Keyword lines are shortened in ReplayList as they are read. The replay goes on
// at a "#Format:" or "#Source:" line that an inserter returned past, so blocks of several formats
// in one log each go to their own inserter; a source that is not of its block's format is a
// results line. A log that cannot be read or a source that cannot be opened throws a RunError.
void ReplayLog(RunContext& run, const std::string& logPath);

// Replays one log named by a project list. A file that is not a result log (its name is of
// another file type, or it holds no "#Format:" or "#Source:" line) is a results line and is not
// replayed.
void ReplayListedLog(RunContext& run, const std::string& logPath);

} // namespace eitool
