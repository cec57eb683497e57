#pragma once

#include "run/RunContext.h"

#include <string>

namespace eitool {

// The full output path of a piece of sourcePath, named relativeName (folder, separator, file
// name) below the target directory, mirroring a scanned tree; creates the missing directories.
std::string MakePiecePath(RunContext& run, const std::string& sourcePath,
                          const std::string& relativeName);

} // namespace eitool
