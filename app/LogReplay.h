#pragma once

#include "run/RunContext.h"

#include <string>

namespace eitool {

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
