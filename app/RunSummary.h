#pragma once

#include "run/RunState.h"

#include <cstddef>
#include <string>

namespace eitool {

// What a run did with the pieces it counted.
enum class PiecesDone {
    Written,  // an extraction
    Inserted, // an insertion
    Checked,  // a dry run of an insertion
};

// What the run of state did with its pieces: extraction runs write them, replays insert them
// (or only check them in a dry run).
PiecesDone PiecesDoneOf(const RunState& state);

// "3 files, 10000 pieces written, 195.3 MiB (204800000 bytes) in 0.42 s"
std::string SummaryLine(const RunStats& stats, double seconds, PiecesDone done);

// "3 of 120 pieces named by the logs were not found", or empty when every one was found.
std::string MissingPiecesLine(const RunStats& stats);

// The summary line, followed by the missing pieces where there are any: what the window shows
// after a run, and what the command line prints at its end.
std::string RunSummary(const RunStats& stats, double seconds, PiecesDone done);

// The start of the summary of a run that Stop ended, once ("Stopped: 2 of 5 files handled,
// 3 left") or twice ("Aborted: ...", the aborted file among those left).
std::string StoppedLine(bool aborted, std::size_t handled, std::size_t total);

// A byte count for people: "812 bytes", "1.6 MiB (1634001 bytes)".
std::string BytesText(std::uint64_t bytes);

// Seconds with a precision that suits them: "0.012 s", "1.25 s", "42.1 s".
std::string SecondsText(double seconds);

} // namespace eitool
