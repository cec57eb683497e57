#pragma once

#include "run/RunContext.h"

#include <cstdint>
#include <string>

namespace eitool {

// Writes every non-empty member of the pack at path as a piece file below the target directory
// and appends one ResultLog line per directory entry (the piece path, or "NULL").
void ExtractDataPack(RunContext& run, const std::string& path);

// Writes the pieces named by the entry lines from firstLine on back into the pack open as
// run.state.SourceStream, with new sizes and CRC-32s in its directory. All or nothing: a rollback
// journal beside the pack restores it if anything fails. Returns firstLine + N.
std::int32_t InsertDataPack(RunContext& run, const std::string& name, std::int32_t firstLine);

// If an insertion into the pack at packPath was interrupted (its journal lies beside it), puts
// the pack back as it was before that insertion, adds a results line saying so and returns true.
// A journal written for another file, of an old format or damaged, or anything at the journal's
// name that is not a regular file, is left alone with a CorruptFileError naming it and the pack.
bool RecoverDataPack(RunContext& run, const std::string& packPath);

// The journal's file name: beside the pack file that packPath resolves to, links followed, so
// that every name of the pack finds the same journal.
std::string DataPackJournalPath(const std::string& packPath);

} // namespace eitool
