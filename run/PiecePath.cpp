#include "run/PiecePath.h"

#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace eitool {

namespace {

// The directories from the top down to directory, each without a trailing separator; the root
// (and on Windows a drive "X:\") is taken as it is.
std::vector<std::string> DirectoryChain(const std::string& directory) {
    std::size_t start = 0;
#ifdef _WIN32
    if (directory.size() >= 3 && directory[1] == ':') {
        start = 3;
    }
#endif
    while (start < directory.size() && IsPathSeparator(directory[start])) {
        ++start;
    }
    std::vector<std::string> chain;
    std::string accumulated = directory.substr(0, start);
    bool first = true;
    std::size_t at = start;
    while (at < directory.size()) {
        std::size_t end = at;
        while (end < directory.size() && !IsPathSeparator(directory[end])) {
            ++end;
        }
        if (end > at) {
            if (!first) {
                accumulated += kPathSeparator;
            }
            accumulated.append(directory, at, end - at);
            chain.push_back(accumulated);
            first = false;
        }
        at = end + 1;
    }
    return chain;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

// Creates the missing directories of a piece's directory, top down. The target and the
// directories above it are the user's choice and taken as they are; every directory below the
// target must be a real directory inside its parent (checked by file identity), so a link in
// the target cannot send pieces elsewhere. What exists or was created is remembered for the run,
// so later pieces in the same folders cost no file system call.
void CreatePieceDirectories(RunState& state, const std::string& directory) {
    const std::string key = WithoutTrailingSeparators(directory);
    if (key.empty() || state.KnownDirectories.contains(key)) {
        return;
    }
    const std::string target = WithoutTrailingSeparators(state.TargetDirectory);
    const bool belowTarget = !target.empty() && key.size() > target.size() &&
                             key.compare(0, target.size(), target) == 0 &&
                             IsPathSeparator(key[target.size()]);
    const std::string top = belowTarget ? target : key;
    if (!state.KnownDirectories.contains(top)) {
        const std::vector<std::string> chain = DirectoryChain(top);
        for (const std::string& step : chain) {
            if (state.KnownDirectories.contains(step)) {
                continue;
            }
            // NOTE: a failure to create is ignored; it shows when the piece cannot be created.
            if (FileExists(step) || CreateDirectoryOne(step)) {
                state.KnownDirectories.insert(step);
            }
        }
        if (chain.empty() || !state.KnownDirectories.contains(chain.back())) {
            return;
        }
        state.KnownDirectories.insert(top);
    }
    if (!belowTarget) {
        return;
    }
    std::string step = top;
    std::optional<FileIdentity> parent;
    std::size_t at = target.size();
    while (at < key.size()) {
        while (at < key.size() && IsPathSeparator(key[at])) {
            ++at;
        }
        std::size_t end = at;
        while (end < key.size() && !IsPathSeparator(key[end])) {
            ++end;
        }
        if (end == at) {
            break;
        }
        const std::string_view name(key.data() + at, end - at);
        at = end;
        if (name == ".") {
            continue;
        }
        const std::string parentPath = step;
        step += kPathSeparator;
        step += name;
        if (state.KnownDirectories.contains(step)) {
            parent.reset();
            continue;
        }
        if (!parent) {
            parent = IdentityOf(parentPath);
            if (!parent) {
                return;
            }
        }
        parent = MakeRealDirectory(step, *parent);
        if (!parent) {
            return;
        }
        state.KnownDirectories.insert(step);
    }
    state.KnownDirectories.insert(key);
}

} // namespace

std::string PiecePathOf(const RunState& state, const std::string& sourcePath,
                        const std::string& relativeName) {
    std::string fullPath;
    if (!state.ListFromScan) {
        fullPath = state.TargetDirectory + kPathSeparator + relativeName;
    } else {
        // Every scanned entry begins with the scan root, so the rest begins with a separator.
        const std::size_t cut = std::min(state.ScanRoot.size(), sourcePath.size());
        const std::string mirrored = state.TargetDirectory + sourcePath.substr(cut);
        fullPath = DirectoryPart(mirrored) + relativeName;
    }
    RefuseLineBreak(fullPath, "piece path");
    if (!IsWithinDirectory(fullPath, state.TargetDirectory)) {
        throw UnsafePathError(fullPath, "the piece path leaves the target directory " +
                                            state.TargetDirectory);
    }
    return fullPath;
}

void RefuseLineBreak(const std::string& path, const std::string& what) {
    if (HoldsLineBreak(path)) {
        throw UnsafePathError(path, "the " + what +
                                        " holds a line break, which a result log cannot record");
    }
}

void MakePieceDirectories(RunContext& run, const std::string& piecePath) {
    CreatePieceDirectories(run.state, DirectoryPart(piecePath));
}

std::string MakePiecePath(RunContext& run, const std::string& sourcePath,
                          const std::string& relativeName) {
    std::string fullPath = PiecePathOf(run.state, sourcePath, relativeName);
    MakePieceDirectories(run, fullPath);
    return fullPath;
}

} // namespace eitool
