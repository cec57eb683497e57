#include "run/PiecePath.h"

#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"

#include <algorithm>
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

// Creates the missing directories of a piece's directory, top down. What exists or was created
// is remembered for the run, so later pieces in the same folders cost no file system call.
void CreatePieceDirectories(RunState& state, const std::string& directory) {
    std::string key = directory;
    while (!key.empty() && IsPathSeparator(key.back())) {
        key.pop_back();
    }
    if (key.empty() || state.KnownDirectories.contains(key)) {
        return;
    }
    const std::vector<std::string> chain = DirectoryChain(directory);
    for (const std::string& step : chain) {
        if (state.KnownDirectories.contains(step)) {
            continue;
        }
        // NOTE: a failure to create is ignored; it shows when the piece cannot be created.
        if (FileExists(step) || CreateDirectoryOne(step)) {
            state.KnownDirectories.insert(step);
        }
    }
    if (!chain.empty() && state.KnownDirectories.contains(chain.back())) {
        state.KnownDirectories.insert(key);
    }
}

} // namespace

std::string MakePiecePath(RunContext& run, const std::string& sourcePath,
                          const std::string& relativeName) {
    const RunState& state = run.state;
    std::string fullPath;
    if (!state.ListFromScan) {
        fullPath = state.TargetDirectory + kPathSeparator + relativeName;
    } else {
        // Every scanned entry begins with the scan root, so the rest begins with a separator.
        const std::size_t cut = std::min(state.ScanRoot.size(), sourcePath.size());
        const std::string mirrored = state.TargetDirectory + sourcePath.substr(cut);
        fullPath = DirectoryPart(mirrored) + relativeName;
    }
    if (!IsWithinDirectory(fullPath, state.TargetDirectory)) {
        throw UnsafePathError(fullPath, "the piece path leaves the target directory " +
                                            state.TargetDirectory);
    }
    CreatePieceDirectories(run.state, DirectoryPart(fullPath));
    return fullPath;
}

} // namespace eitool
