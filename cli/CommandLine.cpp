#include "cli/CommandLine.h"

#include "app/FormatTable.h"
#include "common/FileSystem.h"
#include "common/Paths.h"

namespace eitool::cli {

namespace {

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
    return (path.size() >= 3 && path[1] == ':' && IsPathSeparator(path[2])) ||
           (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]));
#else
    return !path.empty() && path[0] == '/';
#endif
}

std::vector<std::string> SplitParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (IsDirectorySeparator(c)) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

// dir without its trailing separators, except where it is the root itself.
std::string WithoutTrailingSeparator(std::string dir) {
    while (dir.size() > 1 && IsDirectorySeparator(dir.back())) {
#ifdef _WIN32
        if (dir.size() == 3 && dir[1] == ':') {
            break;
        }
#endif
        dir.pop_back();
    }
    return dir;
}

std::string KindsText(Command command) {
    return command == Command::Extract ? "data packs (.tre), extended images (.bmpx, .tgax) or "
                                         "fonts (.fnt)"
                                       : "result logs (.log) or one project list (.lst)";
}

// extract takes the file types that are extracted, insert those that are replayed, scan all.
bool TakesPosition(Command command, int position) {
    const FormatRow* row = RowOfType(position);
    if (row == nullptr) {
        return false;
    }
    if (command == Command::Extract) {
        return !IsReplayed(*row);
    }
    if (command == Command::Insert) {
        return IsReplayed(*row);
    }
    return true;
}

std::string TypeNamesText(Command command) {
    std::string text;
    for (const FormatRow& row : kFormatTable) {
        if (TakesPosition(command, row.type)) {
            text += (text.empty() ? "" : "|") + std::string(row.typeName);
        }
    }
    return text;
}

} // namespace

int PositionOfTypeName(std::string_view name) {
    for (const FormatRow& row : kFormatTable) {
        if (row.typeName == name) {
            return row.type;
        }
    }
    return 0;
}

// Every pattern of a mask is "*" and an extension, so a match of the file name is a match of
// its extension.
int PositionOfExtension(std::string_view path) {
    const std::string name = FileNamePart(path);
    for (const FormatRow& row : kFormatTable) {
        if (MatchesMask(name, row.mask)) {
            return row.type;
        }
    }
    return 0;
}

std::string AbsoluteFromTyped(const std::string& path, const std::string& currentDirectory) {
    if (IsAbsolute(path)) {
        return path;
    }
    // The current directory is the physical one (no links in it), so a leading ".." can climb
    // from it by taking its last part off. A ".." after a named part is kept: that part may be
    // a link, and only the file system knows where its ".." leads.
    std::vector<std::string> base = SplitParts(WithoutTrailingSeparator(currentDirectory));
    std::vector<std::string> rest;
    bool climbing = true;
    for (const std::string& part : SplitParts(path)) {
        if (part.empty() || part == ".") {
            continue;
        }
        if (climbing && part == ".." && base.size() > 1) {
            base.pop_back();
            continue;
        }
        climbing = false;
        rest.push_back(part);
    }
    std::string result;
    for (std::size_t i = 0; i < base.size(); ++i) {
        result += (i == 0 ? "" : std::string(1, kPathSeparator)) + base[i];
    }
    if (result.empty() || !IsPathSeparator(result.back())) {
        if (!rest.empty() || result.empty()) {
            result += kPathSeparator;
        }
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        result += (i == 0 ? "" : std::string(1, kPathSeparator)) + rest[i];
    }
    return result;
}

std::string ResolveTarget(const std::string& target, const std::string& currentDirectory) {
    if (target.empty()) {
        return WithoutTrailingSeparator(currentDirectory);
    }
    return WithoutTrailingSeparator(AbsoluteFromTyped(target, currentDirectory));
}

InputSelection SelectInput(const CommandLine& line, const std::string& currentDirectory) {
    InputSelection selection;
    const bool hasScan = !line.scanDir.empty();

    if (line.command == Command::Scan || hasScan) {
        if (!line.files.empty()) {
            throw UsageError("give either FILE arguments or --scan DIR, not both");
        }
        if (line.type.empty()) {
            throw UsageError("--scan needs --type " + TypeNamesText(line.command));
        }
        const int position = PositionOfTypeName(line.type);
        if (position == 0 || !TakesPosition(line.command, position)) {
            throw UsageError("--type must be one of " + TypeNamesText(line.command) + ", not \"" +
                             line.type + "\"");
        }
        selection.scan = true;
        selection.position = position;
        // Kept as typed, trailing separator included: the entries of a scanned list begin with
        // it and the pieces mirror the tree below it. A relative directory gets the current
        // directory in front, as the run moves into the target directory before it starts.
        selection.scanDir = IsAbsolute(line.scanDir) ? line.scanDir
                                                     : WithoutTrailingSeparator(currentDirectory) +
                                                           kPathSeparator + line.scanDir;
        if (!IsDirectory(selection.scanDir)) {
            throw UsageError("\"" + line.scanDir + "\" is not a directory");
        }
        return selection;
    }

    if (!line.type.empty()) {
        throw UsageError("--type goes with --scan DIR");
    }
    if (line.files.empty()) {
        throw UsageError("nothing to do: give FILE arguments or --scan DIR --type " +
                         TypeNamesText(line.command));
    }
    int position = 0;
    int lists = 0;
    for (const std::string& file : line.files) {
        const int filePosition = PositionOfExtension(file);
        if (filePosition == 0) {
            throw UsageError("\"" + file + "\": unknown file type; " +
                             (line.command == Command::Extract ? "extract" : "insert") + " takes " +
                             KindsText(line.command));
        }
        if (!TakesPosition(line.command, filePosition)) {
            throw UsageError("\"" + file +
                             "\": " + (line.command == Command::Extract ? "extract" : "insert") +
                             " takes " + KindsText(line.command));
        }
        if (position != 0 && filePosition != position) {
            throw UsageError("\"" + file + "\": all files of one run must be of one kind");
        }
        position = filePosition;
        if (filePosition == kTypeProjectList && ++lists > 1) {
            throw UsageError("give at most one project list (.lst)");
        }
        selection.files.push_back(AbsoluteFromTyped(file, currentDirectory));
    }
    selection.position = position;
    return selection;
}

} // namespace eitool::cli
