#pragma once

#include "run/RunContext.h"

#include <string>

namespace eitool {

// Replays one result log (insertion): reads it into ReplayList, follows its "#Format:" lines to
// choose an inserter and hands every "#Source:" file that exists, opened as SourceStream, to
// that inserter. Keyword lines are shortened in ReplayList as they are read. A log that cannot be
// read or a source that cannot be opened throws a RunError.
void ReplayLog(RunContext& run, const std::string& logPath);

} // namespace eitool
