#pragma once

#include "common/TextLines.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace eitool::cli {

// A command line that asks for something eitool does not do; exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Command { None, Extract, Insert, Scan, Demo };

// The command line as typed, after parsing and before any check of its meaning.
struct CommandLine {
    Command command = Command::None;
    std::vector<std::string> files;
    std::string scanDir; // --scan DIR, or the DIR of `scan`
    std::string type;    // --type
    std::string target;  // --target; empty for the current directory
    std::string demoDir; // DIR of `demo`; empty for ./eitool-demo
    bool progress = false;
    bool overwrite = false; // --overwrite: edited pieces may be replaced
    bool dryRun = false;    // --dry-run of insert: nothing is written
    bool grow = false;      // --grow of insert: packs whose pieces grew are rebuilt
    bool noIndex = false;   // --no-index of insert: every piece is read
};

// The position (1 to 5) of a --type name among the five file types of the open dialog:
// tre 1, img 2, fnt 3, lst 4, log 5; 0 for any other name.
int PositionOfTypeName(std::string_view name);

// The position of the file type a path belongs to by its extension, letter case ignored:
// .tre 1, .bmpx and .tgax 2, .fnt 3, .lst 4, .log 5; 0 for any other extension.
int PositionOfExtension(std::string_view path);

// What fills the input list: either files of one type (the open dialog's filter position and
// the files, made absolute) or a directory scan (the directory, made absolute only when it is
// relative, and the type's position).
struct InputSelection {
    bool scan = false;
    int position = 0;
    TextLines files;
    std::string scanDir;
};

// Checks the command line for the extract, insert and scan commands and works out the input
// list; throws UsageError with a message for the user.
InputSelection SelectInput(const CommandLine& line, const std::string& currentDirectory);

// The target directory: --target made absolute, "." and doubled separators dropped, without a
// trailing separator; the current directory when --target is not given.
std::string ResolveTarget(const std::string& target, const std::string& currentDirectory);

// A path typed by the user made absolute against currentDirectory: a relative path gets the
// directory in front, its "." parts and doubled separators go, and leading ".." parts climb
// from the directory. An absolute path is kept as typed.
std::string AbsoluteFromTyped(const std::string& path, const std::string& currentDirectory);

} // namespace eitool::cli
