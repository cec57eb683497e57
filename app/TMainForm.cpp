#include "app/TMainForm.h"

#include <cassert>

#include "app/FormatTables.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/DataPack.h"
#include "formats/Font.h"
#include "images/ExtendedImage.h"

namespace eitool {

namespace {

constexpr const char* kFormatKeyword = "#Format:";
constexpr const char* kSourceKeyword = "#Source:";
constexpr const char* kTargetKeyword = "#Target";
// A scan does not go deeper than this many directory levels.
constexpr int kMaxScanDepth = 256;

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

// Whole-run bar position after entry i of n: i * 100 / n, truncating, in 64 bits so that huge
// lists cannot overflow.
int Percent(std::size_t i, std::size_t n) {
    return n == 0 ? 0 : static_cast<int>(static_cast<std::uint64_t>(i) * 100 / n);
}

// Closes the replay's source stream however the handling of its line ends.
struct SourceStreamCloser {
    RunState& state;
    ~SourceStreamCloser() { state.SourceStream.reset(); }
};

} // namespace

TMainForm::TMainForm(StatusSurface& surface, Dialogs& dialogs)
    : m_surface(surface), m_dialogs(dialogs) {}

void TMainForm::EnableListButtons(bool enabled) {
    m_buttons.BClearAll = enabled;
    m_buttons.BRemLog = enabled;
    m_buttons.BProcess = enabled;
    m_buttons.BSaveList = enabled;
}

void TMainForm::AddFilesConfirmed(int filterIndex, const TextLines& files) {
    assert(filterIndex >= 1 && filterIndex <= static_cast<int>(KindByType.size()));
    // A scanned list is replaced by the next files added by hand.
    if (m_state.ListFromScan) {
        m_state.inputList.clear();
        m_state.ListFromScan = false;
    }
    m_buttons.BRemLog = false;
    m_buttons.BProcess = false;
    m_buttons.BSaveList = false;

    const std::uint8_t kind = KindByType[static_cast<std::size_t>(filterIndex - 1)];
    if (kind != m_state.InputKind) {
        m_state.inputList.clear(); // a list holds files of one kind only
    }
    m_state.InputKind = kind;
    if (kind == kKindProjectList) {
        if (!files.empty()) {
            m_state.inputList.clear();
            m_state.inputList = LoadTextLines(files.front());
        }
    } else {
        m_state.inputList.insert(m_state.inputList.end(), files.begin(), files.end());
    }
    if (!m_state.inputList.empty()) {
        EnableListButtons(true);
    }
}

void TMainForm::BProcessClick() {
    if (m_state.inputList.empty()) {
        return;
    }
    m_surface.ClearResults();
    m_state.ResultLog.clear();
    m_state.StopTag = 0;
    m_state.KnownDirectories.clear();
    m_state.stats = RunStats{};
    m_state.TargetDirectory = CurrentDirectory();

    std::string chosen = m_state.TargetDirectory;
    if (m_dialogs.SelectDirectory("Select Directory", chosen)) {
        m_state.TargetDirectory = chosen;
        SetCurrentDirectory(m_state.TargetDirectory);
        m_surface.SetTotalMax(100);
        m_surface.SetTotalPosition(0);
        m_state.ExtractedBytes = 0;

        const std::string tag(TagOfKind(m_state.InputKind));
        // The list's length is read afresh before every file.
        for (std::size_t i = 0; i < m_state.inputList.size(); ++i) {
            const std::string entry = m_state.inputList[i];
            m_state.ResultLog.push_back("#Format: " + tag);
            m_state.ResultLog.push_back("#Source: " + entry);
            ProcessInputFile(m_state.InputKind, entry);
            ++m_state.stats.files;
            m_surface.SetTotalPosition(Percent(i, m_state.inputList.size()));
            m_surface.ProcessMessages();
            if (m_state.StopTag != 0) {
                break; // Stop ends the run after the current file
            }
        }
        m_surface.SetCurrentMessage("");
        m_surface.SetExtracted("");
        m_surface.SetProgressPosition(0);
        m_surface.SetTotalPosition(0);
    }
    if (m_state.ExtractedBytes != 0) {
        m_surface.AddResultLine("Total " + std::to_string(m_state.ExtractedBytes) +
                                " bytes extracted.");
    }
    if (!m_state.ResultLog.empty() && m_state.InputKind != kKindLogs &&
        m_state.InputKind != kKindProjectList) {
        SaveTextLines(JoinPath(m_state.TargetDirectory, "result.log"), m_state.ResultLog,
                      m_writeHook);
    }
    m_dialogs.ShowMessage("Operation complete!", "Process status:", miInformation);
}

void TMainForm::ProcessInputFile(std::uint8_t kind, const std::string& path) {
    m_surface.FocusResults();
    m_surface.EnableSaveLog(false);
    m_surface.EnableStop(true);
    RunContext run = Context();
    switch (kind) {
    case kKindDataPacks:
        ExtractDataPack(run, path);
        break;
    case kKindExtendedImages:
        ExtractExtendedImage(run, path);
        break;
    case kKindFonts:
        ExtractFont(run, path);
        break;
    case kKindLogs:
    case kKindProjectList:
        ReplayLog(path);
        break;
    default:
        break;
    }
    m_surface.EnableStop(false);
    if (m_surface.ResultLineCount() > 0) {
        m_surface.EnableSaveLog(true);
    }
}

std::int32_t TMainForm::CallInserter(const std::string& outputPath, std::int32_t firstLine) {
    RunContext run = Context();
    switch (m_state.ReplayKind) {
    case kKindDataPacks:
        return InsertDataPack(run, outputPath, firstLine);
    case kKindExtendedImages:
        return InsertExtendedImage(run, outputPath, firstLine);
    case kKindFonts:
        return InsertFont(run, outputPath, firstLine);
    default:
        return firstLine - 1; // no inserter: go on with the next line
    }
}

void TMainForm::ReplayLog(const std::string& logPath) {
    m_state.ReplayList.clear();
    m_state.ReplayList = LoadTextLines(logPath);
    const std::string status = "Processing " + FileNamePart(logPath) + "...";
    m_surface.SetCurrentMessage(status);
    m_surface.SetTotalMax(100);
    m_surface.SetTotalPosition(0);
    m_state.ReplayKind = kKindNone;

    TextLines& lines = m_state.ReplayList;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(lines.size()); ++i) {
        SourceStreamCloser closer{m_state};
        m_surface.SetCurrentMessage(status);
        // A log of one line would divide by zero; its bar stays at 0.
        const std::size_t count = lines.size();
        m_surface.SetTotalPosition(count > 1 ? Percent(static_cast<std::size_t>(i), count - 1)
                                             : 0);
        const std::string word = FirstWord(lines[static_cast<std::size_t>(i)]);
        if (!word.empty() && IsLogKeyword(word)) {
            // NOTE: the keyword is cut off by its length plus one from the very front of the
            // line, so a keyword line with leading blanks leaves a garbled rest that matches
            // nothing; logs written by a run never have leading blanks.
            std::string& line = lines[static_cast<std::size_t>(i)];
            line.erase(0, std::min(line.size(), word.size() + 1));
            if (word == kFormatKeyword) {
                m_state.ReplayKind = KindOfTag(FirstWord(line));
            } else if (word == kSourceKeyword) {
                const std::string sourcePath = line; // blanks inside and at the end stay
                if (FileExists(sourcePath)) {
                    m_state.SourceStream =
                        std::make_unique<FileStream>(FileStream::Open(sourcePath, omReadWrite));
                    m_state.SourcePath = sourcePath;
                    m_surface.SetCurrentMessage("Processing " + FileNamePart(sourcePath) +
                                                "...");
                    if (m_state.ReplayKind >= kKindDataPacks && m_state.ReplayKind <= kKindFonts) {
                        const std::string outputPath =
                            JoinPath(m_state.TargetDirectory, FileNamePart(sourcePath));
                        i = CallInserter(outputPath, i + 1);
                    }
                }
            }
        }
        m_state.SourceStream.reset();
        m_surface.StepProgress();
        m_surface.ProcessMessages();
        if (m_state.StopTag != 0) {
            break; // Stop ends the replay after the current line and its inserter
        }
    }
}

void TMainForm::ProcessDirConfirmed(const std::string& scanDir, int typeIndex,
                                    const std::string& typeMask) {
    assert(typeIndex >= 0 && typeIndex < static_cast<int>(KindByType.size()));
    m_buttons.BRemLog = false;
    m_buttons.BProcess = false;
    m_buttons.BSaveList = false;

    m_state.inputList.clear();
    m_state.ListFromScan = false;
    m_state.ScanRoot = scanDir; // as typed: no separator added or removed
    m_scanMask = typeMask;
    ScanDirectory(m_state.ScanRoot);
    m_state.InputKind = KindByType[static_cast<std::size_t>(typeIndex)];
    if (!m_state.inputList.empty()) {
        m_state.ListFromScan = true;
        EnableListButtons(true);
    }
}

void TMainForm::ScanDirectory(const std::string& directory) {
    m_scanVisited.clear();
    ScanTree(directory, 0);
}

// Depth first, subdirectories before the directory's own files. Hidden directories are not
// entered, but hidden files that match are listed, and so is a directory whose own name matches.
// A directory reached a second time through a link is not entered again.
void TMainForm::ScanTree(const std::string& directory, int depth) {
    const std::string resolved = CanonicalPath(directory);
    if (!resolved.empty() && !m_scanVisited.insert(resolved).second) {
        return;
    }
    const std::vector<DirectoryEntry> entries = ListDirectory(directory);
    if (depth < kMaxScanDepth) {
        for (const DirectoryEntry& entry : entries) {
            if (entry.isDirectory && !entry.isHidden) {
                ScanTree(JoinPath(directory, entry.name), depth + 1);
            }
        }
    }
    for (const DirectoryEntry& entry : entries) {
        if (MatchesMask(entry.name, m_scanMask)) {
            m_state.inputList.push_back(JoinPath(directory, entry.name));
        }
    }
}

void TMainForm::StopClick() {
    m_state.StopTag = 1;
    m_surface.EnableStop(false);
}

} // namespace eitool
