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

// text with every run of path separators cut to one, so that the paths of a message read
// "/game/a.tre" where the list holds "/game//a.tre". On Windows a leading "\\" (a network
// path) stays.
std::string SingleSeparators(const std::string& text);

} // namespace eitool::cli
