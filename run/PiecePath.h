#pragma once

#include "run/RunContext.h"

#include <string>

namespace eitool {

// The full output path of a piece of sourcePath, named relativeName (folder, separator, file
// name) below the target directory, mirroring a scanned tree; creates the missing directories.
std::string MakePiecePath(RunContext& run, const std::string& sourcePath,
                          const std::string& relativeName);

// The same path without creating anything, so that a source can check all its piece paths before
// it writes the first; refuses a path that leaves the target (UnsafePathError).
std::string PiecePathOf(const RunState& state, const std::string& sourcePath,
                        const std::string& relativeName);

// Refuses a source, target or piece path of an extraction that holds a CR or LF
// (UnsafePathError): the result log could not record it as one line.
void RefuseLineBreak(const std::string& path, const std::string& what);

// Creates the missing directories of a piece path from PiecePathOf, as MakePiecePath does.
void MakePieceDirectories(RunContext& run, const std::string& piecePath);

} // namespace eitool
