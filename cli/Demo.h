#pragma once

#include "cli/CommandLine.h"

namespace eitool::cli {

// `eitool demo [DIR]`: the whole cycle on generated sample files (make, extract, edit, insert,
// check) with a short report on standard output. Returns 0 when every check passed, 3 otherwise.
int RunDemo(const CommandLine& line);

} // namespace eitool::cli
