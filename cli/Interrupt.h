#pragma once

#include <string>

namespace eitool::cli {

// The notice printed at the first Ctrl-C.
inline constexpr const char* kStopNotice =
    "Stopping after the current file (Ctrl-C again to abort)";

// Ctrl-C asks the run to stop after the current file (or the current log line and its
// inserter) and prints kStopNotice on standard error at once, first taking a progress line off
// the terminal when eraseProgressLine is set. A second Ctrl-C asks to abort the file being
// handled; a third ends the process at once, as usual. SIGTERM and SIGHUP count as a second
// Ctrl-C at once (the run is aborted between two pieces); the same signal again ends the process.
void InstallInterruptHandler(bool eraseProgressLine);
// How many times Ctrl-C was pressed: 0, 1 or 2.
int InterruptCount();
// What stopped the run, for its message: "Ctrl-C", "SIGTERM" or "SIGHUP".
std::string StopCause();
inline bool InterruptRequested() {
    return InterruptCount() > 0;
}

} // namespace eitool::cli
