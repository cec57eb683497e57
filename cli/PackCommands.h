#pragma once

#include <string>
#include <vector>

namespace CLI { // NOLINT(readability-identifier-naming): the namespace of CLI11
class App;
}

namespace eitool::cli {

enum class PackAction { None, List, Verify };

// `eitool list` and `eitool verify` as typed.
struct PackCommandLine {
    PackAction action = PackAction::None;
    std::vector<std::string> packs;
    std::string target; // --target of list; empty for the current directory
    bool json = false;
};

// Adds the `list` and `verify` commands to app, bound to line.
void AddPackCommands(CLI::App& app, PackCommandLine& line);

// `eitool list PACK...`: one line per directory entry in offset order (or JSON). Exit status 0;
// 3 when a pack cannot be opened or read.
int RunList(const PackCommandLine& line);

// `eitool verify PACK...`: a results line for every problem found; 0 when every pack is sound,
// 1 otherwise, 3 when a pack cannot be opened or read.
int RunVerify(const PackCommandLine& line);

} // namespace eitool::cli
