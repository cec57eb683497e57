#include "app/LogReplay.h"

#include "app/FormatTable.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "run/HandlerSupport.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace eitool {

namespace {

constexpr const char* kFormatKeyword = "#Format:";
constexpr const char* kSourceKeyword = "#Source:";
constexpr const char* kTargetKeyword = "#Target";

bool IsLogKeyword(std::string_view word) {
    return word == kFormatKeyword || word == kSourceKeyword || word == kTargetKeyword;
}

// Line i * 100 / (count - 1), truncating, in 64 bits. A log of one line would divide by zero;
// its bar stays at 0.
int Percent(std::int32_t i, std::size_t count) {
    return count > 1 ? static_cast<int>(static_cast<std::uint64_t>(i) * 100 / (count - 1)) : 0;
}

// Where the replay goes on after an inserter that consumed the lines from firstLine to lastLine:
// at the first framing line among them, or after them.
std::int32_t ResumeLine(const LineBuffer& lines, std::int32_t firstLine, std::int32_t lastLine) {
    const auto end =
        std::min<std::int64_t>(std::int64_t{lastLine} + 1, static_cast<std::int64_t>(lines.size()));
    auto at = lines.IteratorAt(static_cast<std::size_t>(firstLine));
    for (std::int64_t i = firstLine; i < end; ++i, ++at) {
        if (IsFramingLine(*at)) {
            return static_cast<std::int32_t>(i);
        }
    }
    return lastLine == std::numeric_limits<std::int32_t>::max() ? lastLine : lastLine + 1;
}

// Counts the entry lines from firstLine to lastLine that the inserter takes as piece paths
// ("NULL", keyword lines and the format's line without a path name none) and those of them
// that name nothing that exists.
void CountNamedPieces(RunState& state, const FormatRow& row, std::int32_t firstLine,
                      std::int32_t lastLine) {
    const LineBuffer& lines = state.ReplayList;
    const auto end =
        std::min<std::int64_t>(std::int64_t{lastLine} + 1, static_cast<std::int64_t>(lines.size()));
    auto at = lines.IteratorAt(static_cast<std::size_t>(firstLine));
    for (std::int64_t i = firstLine; i < end; ++i, ++at) {
        const std::string_view line = *at;
        if (i - firstLine != row.lineWithoutPath && line != "NULL" &&
            !IsLogKeyword(FirstWord(line))) {
            ++state.stats.piecesNamed;
            state.stats.piecesMissing += FileExists(std::string(line)) ? 0 : 1;
        }
    }
}

// Whether the block that begins at firstLine has entry lines: a next line that is not a framing
// line.
bool HasEntryLines(const LineBuffer& lines, std::int32_t firstLine) {
    return static_cast<std::size_t>(firstLine) < lines.size() &&
           !IsFramingLine(lines[static_cast<std::size_t>(firstLine)]);
}

// Closes the replay's source stream however the handling of its line ends.
struct SourceStreamCloser {
    RunState& state;
    ~SourceStreamCloser() { state.SourceStream.reset(); }
};

// Hands the open source to the inserter of ReplayKind with the output path and its first entry
// line, and returns the line after which the replay goes on. Without an inserter, or for a source
// that is not of its block's format, the replay goes on with the next line.
std::int32_t InsertSource(RunContext& run, const std::string& sourcePath, std::int32_t firstLine) {
    RunState& state = run.state;
    const FormatRow* row = RowOfKind(state.ReplayKind);
    if (row == nullptr || row->inserter == nullptr) {
        return firstLine - 1;
    }
    if (row->holdsFormat != nullptr && HasEntryLines(state.ReplayList, firstLine) &&
        !row->holdsFormat(*state.SourceStream)) {
        run.surface.AddResultLine(sourcePath + " is not a " + std::string(row->tag) + " file!");
        return firstLine - 1;
    }
    const std::string outputPath = JoinPath(state.TargetDirectory, FileNamePart(sourcePath));
    std::int32_t last = 0;
    state.PiecesCounted = false;
    try {
        last = row->inserter(run, outputPath, firstLine);
    } catch (const Refusal& refusal) {
        // The refused source's block is passed over up to the next framing line.
        run.surface.AddResultLine(refusal.Line());
        return ResumeLine(state.ReplayList, firstLine, std::numeric_limits<std::int32_t>::max()) -
               1;
    }
    if (last < firstLine) {
        return std::max(last, firstLine - 1);
    }
    const std::int32_t resume = ResumeLine(state.ReplayList, firstLine, last);
    if (!state.PiecesCounted) {
        CountNamedPieces(state, *row, firstLine, resume - 1);
    }
    return resume - 1;
}

// The index of the log's pieces (PieceIndex) for the length of its replay: loaded at its start
// (an empty one for a run that reads every piece) and written back when the replay has gone
// through, when it learnt something new from what it read. Only the index of a log in the run's
// target directory is written, as nothing is written outside it; a dry run writes none.
class LogIndexScope {
public:
    LogIndexScope(RunContext& run, const std::string& logPath)
        : m_run(run), m_logPath(logPath), m_log(IdentityOf(logPath)) {
        RunState& state = run.state;
        if (!m_log) {
            return;
        }
        state.LogIndex = std::make_unique<PieceIndex>(
            state.NoIndex ? PieceIndex(state.IndexRacyMargin)
                          : PieceIndex::Load(logPath, *m_log, state.IndexRacyMargin));
    }
    LogIndexScope(const LogIndexScope&) = delete;
    LogIndexScope& operator=(const LogIndexScope&) = delete;
    ~LogIndexScope() { m_run.state.LogIndex.reset(); }

    void Save() {
        RunState& state = m_run.state;
        const PieceIndex* index = state.LogIndex.get();
        if (index == nullptr || !index->HasNews() || state.DryRun) {
            return;
        }
        const std::optional<FileIdentity> folder = IdentityOf(DirectoryPart(m_logPath));
        const std::optional<FileIdentity> target = IdentityOf(state.TargetDirectory);
        if (!folder || !target || !folder->SameFileAs(*target)) {
            return;
        }
        try {
            index->Save(m_logPath, *m_log, m_run.writeHook);
        } catch (const FileError&) {
            // The pieces are in; an index that cannot be written costs the next run its time.
        }
    }

private:
    RunContext& m_run;
    const std::string& m_logPath;
    const std::optional<FileIdentity> m_log;
};

// Replays the log loaded into ReplayList from logPath.
void ReplayLoadedLog(RunContext& run, const std::string& logPath) {
    RunState& state = run.state;
    StatusSurface& surface = run.surface;
    if (state.ReplayList.size() >
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        const std::size_t count = state.ReplayList.size();
        state.ReplayList.clear();
        throw FileReadError(logPath, "the log has " + std::to_string(count) +
                                         " lines, more than a line position can reach");
    }
    const std::string status = "Processing " + FileNamePart(logPath) + "...";
    surface.SetCurrentMessage(status);
    surface.SetTotalMax(100);
    surface.SetTotalPosition(0);
    state.ReplayKind = kKindNone;
    LogIndexScope index(run, logPath);

    LineBuffer& lines = state.ReplayList;
    const auto count = static_cast<std::int32_t>(lines.size());
    auto at = lines.begin();
    for (std::int32_t i = 0; i < count; ++i, ++at) {
        SourceStreamCloser closer{state};
        surface.SetCurrentMessage(status);
        surface.SetTotalPosition(Percent(i, lines.size()));
        const std::string_view word = FirstWord(*at);
        if (!word.empty() && IsLogKeyword(word)) {
            // NOTE: the keyword is cut off by its length plus one from the very front of the
            // line, so a keyword line with leading blanks leaves a garbled rest that matches
            // nothing; logs written by a run never have leading blanks.
            const bool isFormat = word == kFormatKeyword;
            const bool isSource = word == kSourceKeyword;
            lines.DropFront(static_cast<std::size_t>(i), word.size() + 1);
            const std::string_view line = *at;
            if (isFormat) {
                state.ReplayKind = KindOfTag(FirstWord(line));
            } else if (isSource) {
                const std::string sourcePath(line); // blanks inside and at the end stay
                if (FileExists(sourcePath)) {
                    state.SourceStream =
                        std::make_unique<FileStream>(FileStream::Open(sourcePath, omReadWrite));
                    state.SourcePath = sourcePath;
                    surface.SetCurrentMessage("Processing " + FileNamePart(sourcePath) + "...");
                    const std::int32_t last = InsertSource(run, sourcePath, i + 1);
                    if (last != i) {
                        i = last;
                        at = lines.IteratorAt(static_cast<std::size_t>(i));
                    }
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
    index.Save();
}

} // namespace

void ReplayLog(RunContext& run, const std::string& logPath) {
    run.state.ReplayList.clear();
    run.state.ReplayList = LineBuffer::Load(logPath);
    ReplayLoadedLog(run, logPath);
}

void ReplayListedLog(RunContext& run, const std::string& logPath) {
    RunState& state = run.state;
    state.ReplayList.clear();
    const int type = TypeOfFile(logPath);
    if (type == 0 || type == kTypeLogs) {
        state.ReplayList = LineBuffer::Load(logPath);
        if (std::any_of(state.ReplayList.begin(), state.ReplayList.end(), IsFramingLine)) {
            ReplayLoadedLog(run, logPath);
            return;
        }
        state.ReplayList.clear();
    }
    run.surface.AddResultLine(logPath + " is not a result log!");
}

} // namespace eitool
