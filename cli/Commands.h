#pragma once

#include "cli/CommandLine.h"

#include <functional>
#include <string_view>

namespace eitool::cli {

// Exit statuses of eitool.
enum ExitStatus {
    kExitClean = 0,         // the run completed and the results pane stayed empty
    kExitResults = 1,       // the run completed and the results pane has lines
    kExitUsage = 2,         // the command line asks for something eitool does not do, or an
                            // extraction met edited pieces without --overwrite
    kExitFailed = 3,        // a failure ended the run early
    kExitInterrupted = 130, // Ctrl-C stopped the run
};

// Runs a subcommand of its own (text, tga, gradient) and turns what it throws into a message
// and an exit status: a UsageError is 2 with a pointer to `eitool COMMAND --help`, anything
// else 3.
int RunReportingFailures(std::string_view command, const std::function<int()>& run);

// `eitool extract` and `eitool insert`: fills the input list, answers the picker with the
// target and presses Process.
int RunBatch(const CommandLine& line);

// `eitool demo [DIR]`: the whole cycle on generated sample files, with its report on standard
// output. 0 when every check passed, 3 otherwise.
int RunDemo(const CommandLine& line);

// `eitool scan`: prints the input list that the scan gives, one entry a line.
int RunScan(const CommandLine& line);

} // namespace eitool::cli
