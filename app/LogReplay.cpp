#include "app/LogReplay.h"

#include "app/FormatTable.h"
#include "common/FileSystem.h"
#include "common/Paths.h"

#include <algorithm>

namespace eitool {

namespace {

constexpr const char* kFormatKeyword = "#Format:";
constexpr const char* kSourceKeyword = "#Source:";
constexpr const char* kTargetKeyword = "#Target";

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// The first word of a line: leading white space skipped, then everything up to the next white
// space. Words of any length are taken whole.
std::string FirstWord(const std::string& line) {
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    return line.substr(start, end - start);
}

bool IsLogKeyword(const std::string& word) {
    return word == kFormatKeyword || word == kSourceKeyword || word == kTargetKeyword;
}

// Line i * 100 / (count - 1), truncating, in 64 bits. A log of one line would divide by zero;
// its bar stays at 0.
int Percent(std::int32_t i, std::size_t count) {
    return count > 1 ? static_cast<int>(static_cast<std::uint64_t>(i) * 100 / (count - 1)) : 0;
}

// Counts the entry lines from firstLine to lastLine that name a piece (keyword lines and "NULL"
// name none) and those of them that name nothing that exists.
void CountNamedPieces(RunState& state, std::int32_t firstLine, std::int32_t lastLine) {
    const TextLines& lines = state.ReplayList;
    const auto end =
        std::min<std::int64_t>(std::int64_t{lastLine} + 1, static_cast<std::int64_t>(lines.size()));
    for (std::int64_t i = firstLine; i < end; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i)];
        if (line != "NULL" && !IsLogKeyword(FirstWord(line))) {
            ++state.stats.piecesNamed;
            state.stats.piecesMissing += FileExists(line) ? 0 : 1;
        }
    }
}

// Closes the replay's source stream however the handling of its line ends.
struct SourceStreamCloser {
    RunState& state;
    ~SourceStreamCloser() { state.SourceStream.reset(); }
};

// The inserter of ReplayKind with the output path and the first entry line; without one the
// replay goes on with the next line.
std::int32_t CallInserter(RunContext& run, const std::string& outputPath, std::int32_t firstLine) {
    const FormatRow* row = RowOfKind(run.state.ReplayKind);
    if (row == nullptr || row->inserter == nullptr) {
        return firstLine - 1;
    }
    return row->inserter(run, outputPath, firstLine);
}

} // namespace

void ReplayLog(RunContext& run, const std::string& logPath) {
    RunState& state = run.state;
    StatusSurface& surface = run.surface;
    state.ReplayList.clear();
    state.ReplayList = LoadTextLines(logPath);
    const std::string status = "Processing " + FileNamePart(logPath) + "...";
    surface.SetCurrentMessage(status);
    surface.SetTotalMax(100);
    surface.SetTotalPosition(0);
    state.ReplayKind = kKindNone;

    TextLines& lines = state.ReplayList;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(lines.size()); ++i) {
        SourceStreamCloser closer{state};
        surface.SetCurrentMessage(status);
        surface.SetTotalPosition(Percent(i, lines.size()));
        const std::string word = FirstWord(lines[static_cast<std::size_t>(i)]);
        if (!word.empty() && IsLogKeyword(word)) {
            // NOTE: the keyword is cut off by its length plus one from the very front of the
            // line, so a keyword line with leading blanks leaves a garbled rest that matches
            // nothing; logs written by a run never have leading blanks.
            std::string& line = lines[static_cast<std::size_t>(i)];
            line.erase(0, std::min(line.size(), word.size() + 1));
            if (word == kFormatKeyword) {
                state.ReplayKind = KindOfTag(FirstWord(line));
            } else if (word == kSourceKeyword) {
                const std::string sourcePath = line; // blanks inside and at the end stay
                if (FileExists(sourcePath)) {
                    state.SourceStream =
                        std::make_unique<FileStream>(FileStream::Open(sourcePath, omReadWrite));
                    state.SourcePath = sourcePath;
                    surface.SetCurrentMessage("Processing " + FileNamePart(sourcePath) + "...");
                    const std::string outputPath =
                        JoinPath(state.TargetDirectory, FileNamePart(sourcePath));
                    const std::int32_t firstLine = i + 1;
                    i = CallInserter(run, outputPath, firstLine);
                    CountNamedPieces(state, firstLine, i);
                }
            }
        }
        state.SourceStream.reset();
        surface.StepProgress();
        surface.ProcessMessages();
        if (state.StopTag != 0) {
            break; // Stop ends the replay after the current line and its inserter
        }
    }
}

} // namespace eitool
