#pragma once

#include <string>

namespace CLI { // NOLINT(readability-identifier-naming): the namespace of CLI11
class App;
}

namespace eitool::cli {

enum class TextAction { None, Size, List, Convert };

// `eitool text size|list|convert` as typed.
struct TextCommandLine {
    TextAction action = TextAction::None;
    std::string file;   // FILE, or IN of convert
    std::string output; // OUT of convert
    std::string style;  // --style, or --from of convert
    std::string to;     // --to of convert
    std::string type;   // --type of convert; empty for indexed
    int align = 1;
    bool asciiZ = false;
    bool singleLine = false;
    bool linuxFormat = false;
    bool each = false;
    bool noErrors = false;
    bool crc = false;
};

// Adds the `text` command and its three actions to app, bound to line.
CLI::App* AddTextCommand(CLI::App& app, TextCommandLine& line);

// Runs the parsed action and prints its own messages. Exit status 0; 1 when the file reads with
// complaints; 2 a usage error; 3 a file that cannot be read or written.
int RunText(const TextCommandLine& line);

} // namespace eitool::cli
