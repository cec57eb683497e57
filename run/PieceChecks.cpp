#include "run/PieceChecks.h"

#include "common/FileSystem.h"
#include "common/Paths.h"

#include <algorithm>
#include <memory>

namespace eitool {

namespace {

constexpr std::size_t kCompareBlock = std::size_t{1} << 20;

} // namespace

std::string PieceKey(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = at;
        while (end < path.size() && !IsPathSeparator(path[end]) && path[end] != '/') {
            ++end;
        }
        const std::string_view part = path.substr(at, end - at);
        if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::string key;
    key.reserve(path.size());
    for (const std::string_view part : parts) {
        key += '/';
        key += part;
    }
#ifdef _WIN32
    // NOTE: Windows file names do not tell letter case apart.
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
#endif
    return key;
}

bool ClaimPieces(RunContext& run, const std::string& sourcePath,
                 const std::vector<std::string>& piecePaths) {
    std::vector<std::string> keys;
    keys.reserve(piecePaths.size());
    for (const std::string& piecePath : piecePaths) {
        if (piecePath.empty()) {
            continue;
        }
        keys.push_back(PieceKey(piecePath));
        if (run.state.WrittenPieces.contains(keys.back())) {
            run.surface.AddResultLine(sourcePath + kSamePieceNames);
            return false;
        }
    }
    for (std::string& key : keys) {
        run.state.WrittenPieces.insert(std::move(key));
    }
    return true;
}

std::optional<std::uint64_t> ExistingPieceSize(const std::string& piecePath) {
    const std::optional<FileIdentity> identity = IdentityOfPath(piecePath);
    if (!identity || identity->kind != FileKind::Regular) {
        return std::nullopt;
    }
    return identity->size;
}

bool PieceHolds(const std::string& piecePath, std::span<const std::uint8_t> bytes) {
    FileStream piece = FileStream::Open(piecePath, omRead);
    if (piece.Size() != bytes.size()) {
        return false;
    }
    const std::size_t blockSize = std::min(bytes.size(), kCompareBlock);
    auto block =
        std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(blockSize, 1));
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t want = std::min(blockSize, bytes.size() - done);
        piece.ReadExact(block.get(), want);
        if (!std::equal(block.get(), block.get() + want,
                        bytes.begin() + static_cast<std::ptrdiff_t>(done))) {
            return false;
        }
        done += want;
    }
    return true;
}

bool PieceHolds(const std::string& piecePath, const FileStream& source, std::uint64_t offset,
                std::uint64_t count) {
    FileStream piece = FileStream::Open(piecePath, omRead);
    if (piece.Size() != count) {
        return false;
    }
    const auto blockSize = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCompareBlock));
    const std::size_t allocated = std::max<std::size_t>(blockSize, 1);
    auto ours = std::make_unique_for_overwrite<std::uint8_t[]>(allocated);
    auto theirs = std::make_unique_for_overwrite<std::uint8_t[]>(allocated);
    for (std::uint64_t left = count; left > 0;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, blockSize));
        source.ReadAt(offset + (count - left), std::span(ours.get(), want));
        piece.ReadExact(theirs.get(), want);
        if (!std::equal(ours.get(), ours.get() + want, theirs.get())) {
            return false;
        }
        left -= want;
    }
    return true;
}

void AllowReplacingEdited(RunContext& run, const std::string& sourcePath,
                          const std::string& editedPiece) {
    if (!run.state.ReplaceEditedPieces) {
        run.state.ReplaceEditedPieces = run.confirmReplace && run.confirmReplace();
    }
    if (!run.state.ReplaceEditedPieces) {
        throw EditedPiecesError(editedPiece, sourcePath);
    }
}

std::string ResultLogPath(const std::string& targetDirectory) {
    return JoinPath(targetDirectory, "result.log");
}

std::string SetAsideLogPath(const std::string& targetDirectory) {
    return ResultLogPath(targetDirectory) + ".eitool-old";
}

void SetOldResultLogAside(RunContext& run) {
    if (run.state.OldLog != OldResultLog::Untouched) {
        return;
    }
    const std::string log = ResultLogPath(run.state.TargetDirectory);
    const EntryType there = EntryTypeOf(log);
    if (there != EntryType::RegularFile && there != EntryType::Link) {
        run.state.OldLog = OldResultLog::NoneThere;
        return;
    }
    run.BeforeWrite(log);
    RenameFile(log, SetAsideLogPath(run.state.TargetDirectory));
    // Durable before any piece is named, so that not even a power cut pairs the old log with
    // pieces of this run.
    SyncDirectory(DirectoryPart(log));
    run.state.OldLog = OldResultLog::SetAside;
}

} // namespace eitool
