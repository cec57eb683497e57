#pragma once

namespace eitool::cli {

// Ctrl-C asks the run to stop after the current file (or the current log line and its
// inserter); a second Ctrl-C ends the process at once, as usual.
void InstallInterruptHandler();
bool InterruptRequested();

} // namespace eitool::cli
