#pragma once

#include "run/RunState.h"

#include <string>

namespace eitool {

// "3 files, 10000 pieces, 195.3 MiB (204800000 bytes) in 0.42 s"
std::string SummaryLine(const RunStats& stats, double seconds);

// A byte count for people: "812 bytes", "1.6 MiB (1634001 bytes)".
std::string BytesText(std::uint64_t bytes);

// Seconds with a precision that suits them: "0.012 s", "1.25 s", "42.1 s".
std::string SecondsText(double seconds);

} // namespace eitool
