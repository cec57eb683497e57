#pragma once

#include "common/WriteHook.h"

#include <string>
#include <string_view>
#include <vector>

namespace eitool {

// An ordered list of 8-bit text lines; duplicates allowed.
using TextLines = std::vector<std::string>;

// Splits text into lines ended by CR LF, LF or CR. A last line without an ending counts; an
// ending at the very end does not start another line.
TextLines SplitTextLines(std::string_view text);

// Loads a file's lines (throws FileOpenError / FileReadError).
TextLines LoadTextLines(const std::string& path);

// Saves the lines with CR LF after every line, replacing the file as a whole through a pending
// file, so a failure never leaves a half-written file (throws FileCreateError / FileWriteError).
void SaveTextLines(const std::string& path, const TextLines& lines, WriteHook* hook = nullptr);

} // namespace eitool
