#pragma once

#include <string>

namespace CLI { // NOLINT(readability-identifier-naming): the namespace of CLI11
class App;
}

namespace eitool::cli {

enum class TgaAction { None, Info, SwapRb };

// `eitool tga info|swap-rb` as typed.
struct TgaCommandLine {
    TgaAction action = TgaAction::None;
    std::string file;   // FILE, or IN of swap-rb
    std::string output; // OUT of swap-rb
};

// Adds the `tga` command and its two actions to app, bound to line.
CLI::App* AddTgaCommand(CLI::App& app, TgaCommandLine& line);

// Runs the parsed action and prints its own messages. Exit status 0 done; 2 a usage error; 3 a
// file that cannot be read or written, or that is refused.
int RunTga(const TgaCommandLine& line);

} // namespace eitool::cli
