#pragma once

#include <string>

namespace eitool::cli {

// Whether standard error / standard output is an interactive terminal.
bool StderrIsTerminal();
bool StdoutIsTerminal();

// Width of the terminal on standard error in columns, or 80 when it cannot be told.
int StderrColumns();

// Writes text to a standard stream at once (unbuffered by hand: written and flushed).
void WriteStdout(const std::string& text);
void WriteStderr(const std::string& text);

} // namespace eitool::cli
