#pragma once

#include "common/FileStream.h"
#include "common/RunError.h"
#include "run/RunContext.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace eitool {

inline constexpr const char* kSamePieceNames =
    " has pieces of the same names as an earlier file; extract it into another target directory!";

// The run ended before a source wrote anything, because a piece file of it had been edited (it
// differs from what the extraction writes) and the user did not agree to replace it. Path() is
// the first edited piece found, Source() the file it was extracted from.
class EditedPiecesError : public FileError {
public:
    EditedPiecesError(const std::string& piece, const std::string& source)
        : FileError(piece, "the piece was edited since it was extracted from " + ShownPath(source) +
                               "; nothing of that file was written"),
          m_source(source) {}
    const std::string& Source() const { return m_source; }

private:
    std::string m_source;
};

// The form in which piece paths are compared: lexically normal ("." and doubled separators
// dropped, ".." resolved), and on Windows with one separator and ASCII letters in lower case.
std::string PieceKey(std::string_view path);

// Claims the piece paths of the source at sourcePath (empty paths are passed over) before it
// writes the first of them. When a path was claimed by an earlier source of the run, nothing is
// claimed, the results line sourcePath + kSamePieceNames is added and the result is false: the
// source then writes nothing and logs its entry lines as "NULL".
bool ClaimPieces(RunContext& run, const std::string& sourcePath,
                 const std::vector<std::string>& piecePaths);

// The size of the regular file at piecePath; nothing when there is none. A link or anything else
// at that name is not looked into; the writer refuses it.
std::optional<std::uint64_t> ExistingPieceSize(const std::string& piecePath);

// Whether the file at piecePath holds exactly bytes.
bool PieceHolds(const std::string& piecePath, std::span<const std::uint8_t> bytes);
// Whether it holds exactly the count bytes of source from offset on (read at their offsets).
bool PieceHolds(const std::string& piecePath, const FileStream& source, std::uint64_t offset,
                std::uint64_t count);

// Called before a source writes anything when editedPiece, one of its piece files, differs from
// what the extraction writes. The first time in a run it asks run.confirmReplace; unless the user
// agrees (now or earlier in the run), the run ends with EditedPiecesError.
void AllowReplacingEdited(RunContext& run, const std::string& sourcePath,
                          const std::string& editedPiece);

// The result log of an extraction run: "result.log" in the target directory. From the first
// piece an extraction writes until its new log is written, the old one lies at its set-aside
// name ("result.log.eitool-old"), so that a run that ends early leaves no log beside pieces it
// does not describe.
std::string ResultLogPath(const std::string& targetDirectory);
std::string SetAsideLogPath(const std::string& targetDirectory);

// Called by every extractor just before it writes a file (after the checks that may still end
// the run without a change): the first call of a run renames the target's result.log to its
// set-aside name, replacing one left there by an earlier run. Later calls do nothing.
void SetOldResultLogAside(RunContext& run);

} // namespace eitool
