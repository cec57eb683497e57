#pragma once

#include "run/RunContext.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// Shows verb, the file name of path and "..." as the status text ("Processing data.tre...") and
// lets pending messages be dispatched.
void ShowFileStatus(RunContext& run, std::string_view verb, const std::string& path);

// Whether a second press of Stop asks to abort the file being handled. Once Stop has been
// pressed, or while the surface knows of a press that waits, pending messages are dispatched at
// every call, so a second press is seen at once.
bool AbortRequested(RunContext& run);

// The first words of a dry run's lines (StatusSurface::AddPlanLine), all of one width: a piece
// that would go in, one equal to what is there already, one that grew beyond its room, one that
// is not there, one kept out because its member shares bytes with another, and a file that would
// be written; a piece that grew and goes in by a rebuild of its pack, and the pack so rebuilt.
inline constexpr const char* kPlanInsert = "insert    ";
inline constexpr const char* kPlanGrow = "grow      ";
inline constexpr const char* kPlanRebuild = "rebuild   ";
inline constexpr const char* kPlanUnchanged = "unchanged ";
inline constexpr const char* kPlanGrown = "grown     ";
inline constexpr const char* kPlanMissing = "missing   ";
inline constexpr const char* kPlanShared = "shared    ";
inline constexpr const char* kPlanWrite = "write     ";

// Whether a log line begins a block or names its source: its first word is "#Format:" or
// "#Source:". No inserter takes such a line as an entry line of its block, and the replay goes
// on at it.
bool IsFramingLine(std::string_view line);

// The first word of a line: leading white space (every byte up to the blank) skipped, then
// everything up to the next white space. Words of any length are taken whole.
std::string_view FirstWord(std::string_view line);

// Whether two paths name one file by its identity (links followed, so a second hard link or a
// symbolic link to it counts); false when either names nothing.
bool IsSameFile(const std::string& a, const std::string& b);

// A file of an insertion with what it is to the user ("the glyph strip", "the changed sheet").
struct RoleFile {
    std::string path;
    std::string what;
};

// The results line for the first output that is, by file identity, one of the files the
// insertion reads: the input's path + " (" + its role + ") would be replaced by " + the output's
// role + "; choose another target directory!". Empty when every output is a file of its own or
// not there yet.
std::string ReplacedInputLine(const std::vector<RoleFile>& outputs,
                              const std::vector<RoleFile>& inputs);

// What extracting one input may write at most: kOutputFactor times its size plus
// kOutputAllowance. Real files stay far below it; crafted ones that point many entries at the
// same bytes are refused before anything is written.
inline constexpr std::uint64_t kOutputFactor = 64;
inline constexpr std::uint64_t kOutputAllowance = std::uint64_t{64} << 20;
inline constexpr const char* kOutputRefused = " would write more than 64 times its size; refused!";

// kOutputFactor * inputSize + kOutputAllowance, saturating instead of overflowing.
std::uint64_t OutputLimit(std::uint64_t inputSize);

// True when planned bytes of output stay within OutputLimit(inputSize); otherwise adds the
// results line path + kOutputRefused and returns false.
bool WithinOutputLimit(RunContext& run, const std::string& path, std::uint64_t planned,
                       std::uint64_t inputSize);

} // namespace eitool
