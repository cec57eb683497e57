#include "app/TMainForm.h"

#include "app/FormatTable.h"
#include "app/LogReplay.h"
#include "app/RunSummary.h"
#include "common/FileSystem.h"
#include "common/LineBuffer.h"
#include "common/Paths.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "run/PieceChecks.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <new>
#include <optional>
#include <system_error>

namespace eitool {

namespace {

// A scan does not go deeper than this many directory levels.
constexpr int kMaxScanDepth = 256;

// Whole-run bar position after entry i of n: i * 100 / n, truncating, in 64 bits so that huge
// lists cannot overflow.
int Percent(std::size_t i, std::size_t n) {
    return n == 0 ? 0 : static_cast<int>(static_cast<std::uint64_t>(i) * 100 / n);
}

FileDialog MakeSelectLog() {
    FileDialog dialog;
    dialog.title = "Select file...";
    dialog.filter = OpenDialogFilter();
    dialog.defaultExt = "*";
    dialog.options = ofAllowMultiSelect | ofPathMustExist | ofFileMustExist | ofHideReadOnly;
    dialog.filterIndex = kTypeDataPacks;
    return dialog;
}

FileDialog MakeSaveDialog(std::string title, std::string filter, std::string defaultExt,
                          unsigned options) {
    FileDialog dialog;
    dialog.title = std::move(title);
    dialog.filter = std::move(filter);
    dialog.defaultExt = std::move(defaultExt);
    dialog.options = ofOverwritePrompt | ofHideReadOnly | options;
    return dialog;
}

// The input kind of an open-dialog position, or 0 for a position outside the table.
std::uint8_t KindOfType(int type) {
    const FormatRow* row = RowOfType(type);
    return row == nullptr ? 0 : row->kind;
}

// The caption of the boxes that refuse a choice of files.
constexpr const char* kMessageCaption = "Operation status";

// Whether a path may name a result log: its name is of the log type or of no known type.
bool IsLogName(const std::string& path) {
    const int type = TypeOfFile(path);
    return type == 0 || type == kTypeLogs;
}

// Whether a line holds nothing but white space.
bool IsBlankLine(std::string_view line) {
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The entries of a project list: its lines, blank ones passed over. The file is read as one
// buffer, so a list costs its own bytes while it is read, and then its entries.
TextLines LoadProjectList(const std::string& path) {
    const LineBuffer lines = LineBuffer::Load(path);
    const auto kept = static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [](std::string_view line) { return !IsBlankLine(line); }));
    TextLines entries;
    entries.reserve(kept);
    for (const std::string_view line : lines) {
        if (!IsBlankLine(line)) {
            entries.emplace_back(line);
        }
    }
    return entries;
}

// Whether path names something that is there but is not a regular file once links are followed:
// a dangling link, a directory, a FIFO, a device. A path that names nothing is left to the
// handler, which reports it as a file that cannot be opened.
bool IsPresentButNotRegular(const std::string& path) {
    return EntryTypeOf(path) != EntryType::None &&
           EntryTypeOf(path, true) != EntryType::RegularFile;
}

// Whether the resolved path lies inside the resolved directory top (or is top itself).
bool LiesInside(const std::string& path, const std::string& top) {
    if (path.compare(0, top.size(), top) != 0) {
        return false;
    }
    if (path.size() == top.size()) {
        return true;
    }
    const char after = path[top.size()];
    const char last = top.empty() ? '\0' : top.back();
    return after == '/' || after == '\\' || last == '/' || last == '\\';
}

// An extraction records its sources and target in result.log, one line each: one that holds a
// line break is refused before anything is written (the sources before the picker is shown).
bool IsExtraction(const RunState& state) {
    return state.InputKind != kKindLogs && state.InputKind != kKindProjectList;
}

void RefuseLineBreaksInSources(const RunState& state) {
    for (const std::string& entry : state.inputList) {
        RefuseLineBreak(entry, "source path");
    }
}

// Marks the view as running for the lifetime of a batch run, however the run ends.
class RunningScope {
public:
    explicit RunningScope(MainFormView& view) : m_view(view) {
        m_view.running = true;
        m_view.Changed(vcControls);
    }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
    ~RunningScope() {
        m_view.running = false;
        m_view.Changed(vcControls);
    }

private:
    MainFormView& m_view;
};

} // namespace

TMainForm::TMainForm(StatusSurface& surface, Dialogs& dialogs)
    : SelectLog(MakeSelectLog()),
      SaveLST(MakeSaveDialog("Select file...", "Project list files (*.lst)|*.lst", "lst",
                             ofEnableSizing)),
      SaveRes(MakeSaveDialog("Select target...", "Text files (*.txt)|*.txt", "txt", 0)),
      m_view(m_state.inputList), m_surface(m_view, surface), m_dialogs(dialogs),
      m_dirForm(SelectLog, dialogs) {}

void TMainForm::DisableForNewList() {
    m_view.enabled.BRemLog = false;
    m_view.enabled.BProcess = false;
    m_view.enabled.BSaveList = false;
    m_view.Changed(vcControls);
}

void TMainForm::EnableListButtons(bool enabled) {
    m_view.enabled.BClearAll = enabled;
    m_view.enabled.BRemLog = enabled;
    m_view.enabled.BProcess = enabled;
    m_view.enabled.BSaveList = enabled;
    m_view.Changed(vcControls);
}

void TMainForm::EmptyList() {
    m_state.inputList.clear();
    m_view.selected.clear();
    m_view.current = -1;
    m_view.Changed(vcList);
}

void TMainForm::SelectEntries(std::vector<std::size_t> entries) {
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    entries.erase(std::lower_bound(entries.begin(), entries.end(), m_state.inputList.size()),
                  entries.end());
    m_view.selected = std::move(entries);
    m_view.Changed(vcList);
}

void TMainForm::SetCurrentEntry(int entry) {
    m_view.current =
        entry >= 0 && static_cast<std::size_t>(entry) < m_state.inputList.size() ? entry : -1;
    m_view.Changed(vcList);
}

void TMainForm::BAddLogClick() {
    AddChosenFiles(nullptr);
}

bool TMainForm::AddFiles(const TextLines& paths) {
    if (paths.empty()) {
        return false;
    }
    const int type = TypeOfChoice(paths, 0);
    if (type == 0) {
        return false;
    }
    FileDialog chosen = SelectLog;
    chosen.files = paths;
    chosen.filterIndex = type;
    AddChosenFiles(&chosen);
    return true;
}

// chosen is what the user chose without the dialog, or null to show SelectLog.
void TMainForm::AddChosenFiles(const FileDialog* chosen) {
    // A scanned list is replaced by the next files added by hand, even when the dialog is then
    // cancelled.
    if (m_state.ListFromScan) {
        EmptyList();
        m_state.ListFromScan = false;
    }
    DisableForNewList();
    if (chosen != nullptr || m_dialogs.OpenFiles(SelectLog)) {
        const FileDialog& choice = chosen != nullptr ? *chosen : SelectLog;
        const int type = TypeOfChoice(choice.files, choice.filterIndex);
        if (type == 0) {
            // Refused like a cancelled choice.
            if (!m_state.inputList.empty()) {
                EnableListButtons(true);
            }
            return;
        }
        const std::uint8_t kind = KindOfType(type);
        if (kind != m_state.InputKind) {
            EmptyList(); // a list holds files of one kind only
        }
        m_state.InputKind = kind;
        if (kind == kKindProjectList) {
            if (!choice.files.empty()) {
                // Read before anything changes, so a failed read leaves the list as it was.
                TextLines lines = LoadProjectList(choice.files.front());
                EmptyList();
                m_state.inputList = std::move(lines);
            }
        } else {
            m_state.inputList.insert(m_state.inputList.end(), choice.files.begin(),
                                     choice.files.end());
        }
        m_view.Changed(vcList);
    }
    if (!m_state.inputList.empty()) {
        EnableListButtons(true);
    }
}

// Each file's type is found from its name; fallback, the type chosen in the dialog, counts only
// for a name that matches none (0: such a name is refused). Files of several types are refused
// with a message box that names one file of each type.
int TMainForm::TypeOfChoice(const TextLines& files, int fallback) {
    std::array<const std::string*, kFormatTable.size() + 1> firstOfType{};
    int type = fallback;
    std::size_t types = 0;
    for (const std::string& file : files) {
        const int found = TypeOfFile(file);
        const int fileType = found != 0 ? found : fallback;
        const auto at = static_cast<std::size_t>(fileType);
        if (at < firstOfType.size() && firstOfType[at] == nullptr) {
            firstOfType[at] = &file;
            ++types;
            type = fileType;
        }
    }
    if (types <= 1 && type != 0) {
        return type;
    }
    std::string text = "The files chosen are not all of one known kind; none was added:";
    for (std::size_t at = 0; at < firstOfType.size(); ++at) {
        if (firstOfType[at] != nullptr) {
            const FormatRow* row = RowOfType(static_cast<int>(at));
            text += "\n" + FileNamePart(*firstOfType[at]) + ": " +
                    (row != nullptr ? std::string(row->description) : "of no known kind");
        }
    }
    m_dialogs.ShowMessage(text, kMessageCaption, miWarning);
    return 0;
}

void TMainForm::BRemLogClick() {
    TextLines kept;
    kept.reserve(m_state.inputList.size());
    auto selected = m_view.selected.begin();
    for (std::size_t i = 0; i < m_state.inputList.size(); ++i) {
        if (selected != m_view.selected.end() && *selected == i) {
            ++selected;
        } else {
            kept.push_back(std::move(m_state.inputList[i]));
        }
    }
    m_state.inputList = std::move(kept);
    m_view.selected.clear();
    if (!m_state.inputList.empty()) {
        m_view.current = static_cast<int>(m_state.inputList.size()) - 1;
    } else {
        m_view.current = -1;
        EnableListButtons(false);
    }
    m_view.Changed(vcList);
}

// InputKind and ListFromScan stay as they are.
void TMainForm::BClearAllClick() {
    EmptyList();
    EnableListButtons(false);
}

// A project list is opened as a list of result logs, so only a list of logs is saved as one, and
// only under a name that opens as a project list again.
void TMainForm::BSaveListClick() {
    const auto notLog = std::find_if(m_state.inputList.begin(), m_state.inputList.end(),
                                     [](const std::string& entry) { return !IsLogName(entry); });
    if (notLog != m_state.inputList.end()) {
        m_dialogs.ShowMessage("A project list names result logs, and " + FileNamePart(*notLog) +
                                  " is not one; the list was not saved.",
                              kMessageCaption, miWarning);
        return;
    }
    if (m_dialogs.SaveFile(SaveLST)) {
        if (const FormatRow* row = RowOfType(TypeOfFile(SaveLST.fileName));
            row != nullptr && row->type != kTypeProjectList) {
            m_dialogs.ShowMessage(FileNamePart(SaveLST.fileName) + " would be opened as one of " +
                                      std::string(row->description) + "; the list was not saved.",
                                  kMessageCaption, miWarning);
            return;
        }
        SaveTextLines(SaveLST.fileName, m_state.inputList);
    }
}

void TMainForm::SaveLogClick() {
    if (m_dialogs.SaveFile(SaveRes)) {
        SaveTextLines(SaveRes.fileName, m_surface.ResultLines());
        m_dialogs.ShowMessage(FileNamePart(SaveRes.fileName), "Operation status", miInformation);
        m_surface.EnableSaveLog(false);
    }
}

// The first press ends the run after the current file and leaves Stop enabled while the file is
// handled; a second press then aborts that file. A press on the disabled button does nothing.
void TMainForm::StopClick() {
    if (m_state.StopTag == 0) {
        m_state.StopTag = 1;
        if (m_view.running) {
            // Shown at once, so that the user sees the press was taken and what a second does.
            m_view.StopNotice = "stopping after the current file, press Abort to abort it";
            m_view.StopCaption = "Abort";
            m_view.Changed(vcStatus | vcControls);
        }
        m_surface.EnableStop(m_view.enabled.Stop);
    } else if (m_state.StopTag == 1 && m_view.enabled.Stop) {
        m_state.StopTag = 2;
        m_view.StopNotice = "aborting the current file";
        m_view.Changed(vcStatus);
        m_surface.EnableStop(false);
    }
}

void TMainForm::BExitClick() {
    m_view.closeRequested = true;
    m_view.Changed(vcClose);
}

void TMainForm::BProcessClick() {
    if (m_state.inputList.empty()) {
        return;
    }
    const RunningScope running(m_view);
    m_runStart.reset();
    try {
        RunInputList();
    } catch (const std::bad_alloc&) {
        EndRunAfterFailure("Out of memory");
        throw;
    } catch (const std::exception& failure) {
        EndRunAfterFailure(failure.what());
        throw;
    }
}

// The batch run of BProcessClick, from the checks before the picker to the closing message.
void TMainForm::RunInputList() {
    if (IsExtraction(m_state)) {
        RefuseLineBreaksInSources(m_state);
    }
    m_state.ResultLog.clear();
    m_state.StopTag = 0;
    m_state.CompletedPacks.clear();
    m_state.KnownDirectories.clear();
    m_state.WrittenPieces.clear();
    m_state.ReplaceEditedPieces = false;
    m_state.GrowAnswer = 0;
    m_state.OldLog = OldResultLog::Untouched;
    m_state.stats = RunStats{};
    m_state.TargetDirectory = CurrentDirectory();

    // Held until the run ends, its result.log written; a dry run writes nothing and takes none.
    std::optional<DirectoryLock> targetLock;
    std::string chosen = m_state.TargetDirectory;
    if (m_dialogs.SelectDirectory("Select Directory", chosen)) {
        // Only now: a cancelled picker leaves the pane, unsaved results and edits included.
        m_surface.ClearResults();
        m_runStart = std::chrono::steady_clock::now();
        m_view.Summary.clear();
        m_view.Changed(vcStatus);
        m_state.TargetDirectory = chosen;
        if (IsExtraction(m_state)) {
            RefuseLineBreak(m_state.TargetDirectory, "target directory");
        }
        SetCurrentDirectory(m_state.TargetDirectory);
        if (!m_state.DryRun) {
            targetLock.emplace(m_state.TargetDirectory);
        }
        m_surface.SetTotalMax(100);
        m_surface.SetTotalPosition(0);
        m_state.ExtractedBytes = 0;
        m_entriesHandled = 0;
        HandleInputFiles();
        ResetFrame();
    }
    if (m_state.ExtractedBytes != 0) {
        m_surface.AddResultLine("Total " + std::to_string(m_state.ExtractedBytes) +
                                " bytes extracted.");
    }
    SaveResultLog();
    m_dialogs.ShowMessage("Operation complete!", "Process status:", miInformation);
}

void TMainForm::HandleInputFiles() {
    const std::string tag(TagOfKind(m_state.InputKind));
    // In a run of one file the whole-run bar would stand still while that file is handled.
    m_surface.SetTotalFollowsProgress(m_state.inputList.size() == 1);
    // The list's length is read afresh before every file.
    for (std::size_t i = 0; i < m_state.inputList.size(); ++i) {
        const std::string entry = m_state.inputList[i];
        if (IsPresentButNotRegular(entry)) {
            // NOTE: no framing lines, so the replay of result.log never meets this entry.
            m_surface.AddResultLine(entry + " is not a regular file!");
            m_surface.EnableSaveLog(true);
        } else {
            const std::size_t handled = m_state.ResultLog.size();
            try {
                m_state.ResultLog.push_back("#Format: " + tag);
                m_state.ResultLog.push_back("#Source: " + entry);
                ProcessInputFile(m_state.InputKind, entry);
            } catch (const Refusal& refusal) {
                // A source refused for its content: its framing lines stay, as for any refused
                // source, and the run goes on.
                m_state.ResultLog.resize(handled + 2);
                m_surface.AddResultLine(refusal.Line());
                m_surface.EnableSaveLog(true);
            } catch (const EditedPiecesError&) {
                m_surface.SetTotalFollowsProgress(false);
                // NOTE: the result.log already there still leads the edited pieces back; it
                // stays as it is, or is put back when an earlier file set it aside.
                m_state.ResultLog.resize(handled);
                try {
                    PutOldResultLogBack();
                } catch (...) {
                    // The refusal is the one to report.
                }
                throw;
            } catch (...) {
                m_surface.SetTotalFollowsProgress(false);
                // The files handled before this one keep their log, so their pieces can still
                // be inserted; the error, or the abort, then ends the run as before.
                m_state.ResultLog.resize(handled);
                try {
                    SaveResultLog();
                } catch (...) {
                    // The first error is the one to report.
                }
                throw;
            }
            ++m_state.stats.files;
        }
        // Stop stays live between two files, so that a press there (or a close of the window)
        // is seen before the next file starts.
        if (m_state.StopTag == 0) {
            m_surface.EnableStop(true);
        }
        m_entriesHandled = i + 1;
        m_surface.SetTotalPosition(Percent(i, m_state.inputList.size()));
        m_surface.ProcessAllMessages();
        if (m_state.StopTag != 0) {
            break; // Stop ends the run after the current file
        }
    }
}

// The frame at the end of every run, however it ended: labels and bars cleared, Stop disabled
// and, once the run had its target, what it did.
void TMainForm::ResetFrame() {
    m_surface.SetTotalFollowsProgress(false);
    m_surface.SetCurrentMessage("");
    m_surface.SetExtracted("");
    m_surface.SetProgressPosition(0);
    m_surface.SetTotalPosition(0);
    m_surface.EnableStop(false);
    m_view.StopNotice.clear();
    m_view.StopCaption = "Stop";
    if (m_runStart) {
        const std::chrono::duration<double> seconds =
            std::chrono::steady_clock::now() - *m_runStart;
        m_view.Summary = RunSummary(m_state.stats, seconds.count(), PiecesDoneOf(m_state));
        if (m_state.StopTag != 0) {
            m_view.Summary =
                StoppedLine(m_state.StopTag >= 2, m_entriesHandled, m_state.inputList.size()) +
                "; " + m_view.Summary;
        }
    }
    m_view.Changed(vcStatus | vcControls);
}

// A failure that ends a run stays in the results pane, where it can be saved, and the frame is
// reset as after any run; the front end then reports the failure itself.
void TMainForm::EndRunAfterFailure(const std::string& text) {
    try {
        ResetFrame();
        m_surface.AddFailureLine(text);
        m_surface.EnableSaveLog(true);
    } catch (...) {
        // The failure is the one to report.
    }
}

// Extraction runs only; a run over logs or project lists keeps its framing lines unwritten.
void TMainForm::SaveResultLog() {
    if (!m_state.ResultLog.empty() && m_state.InputKind != kKindLogs &&
        m_state.InputKind != kKindProjectList) {
        SaveTextLines(ResultLogPath(m_state.TargetDirectory), m_state.ResultLog, m_writeHook);
        // The new log describes the pieces there now; an old one set aside by this run or by
        // one that ended early has no use left.
        RemoveFileQuietly(SetAsideLogPath(m_state.TargetDirectory));
    }
}

// After a refusal that ends an extraction run: the old log goes back to its name, unless a log
// is there again.
void TMainForm::PutOldResultLogBack() {
    if (m_state.OldLog == OldResultLog::SetAside &&
        !FileExists(ResultLogPath(m_state.TargetDirectory))) {
        RenameFile(SetAsideLogPath(m_state.TargetDirectory),
                   ResultLogPath(m_state.TargetDirectory));
        m_state.OldLog = OldResultLog::Untouched;
    }
}

// Asked by the first source of a run that finds an edited piece, before it writes anything.
bool TMainForm::AskReplaceEdited() {
    // No is the default, so a hasty Enter keeps the user's edits.
    return m_dialogs.AskYesNo("The target directory holds edited pieces. Replace them?",
                              "Process status:", DefaultAnswer::No);
}

// Asked by the first insertion of a run that finds pieces larger than their members.
bool TMainForm::AskRebuildPacks() {
    // No keeps the packs as they are, and the grown pieces are reported as before.
    return m_dialogs.AskYesNo(kRebuildPacksQuestion, "Process status:", DefaultAnswer::No);
}

void TMainForm::ProcessInputFile(std::uint8_t kind, const std::string& path) {
    m_surface.FocusResults();
    m_surface.EnableSaveLog(false);
    m_surface.EnableStop(true);
    if (const FormatRow* row = RowOfKind(kind); row != nullptr) {
        RunContext run = Context();
        row->handler(run, path);
    }
    m_surface.EnableStop(false);
    if (m_surface.ResultLineCount() > 0) {
        m_surface.EnableSaveLog(true);
    }
}

void TMainForm::ReplayLog(const std::string& logPath) {
    RunContext run = Context();
    eitool::ReplayLog(run, logPath);
}

void TMainForm::ProcessDirClick() {
    DisableForNewList();
    if (m_dirForm.ShowModal()) {
        EmptyList();
        m_state.ListFromScan = false;
        m_state.ScanRoot = m_dirForm.ScanDir(); // as typed: no separator added or removed
        m_scanMask = m_dirForm.TypeMask();
        ScanDirectory(m_state.ScanRoot);
        m_view.Changed(vcList);
        m_state.InputKind = KindOfType(m_dirForm.TypeIndex() + 1);
        if (!m_state.inputList.empty()) {
            m_state.ListFromScan = true;
        }
    }
    // Also after a cancelled dialog, which leaves an earlier list in place.
    if (!m_state.inputList.empty()) {
        EnableListButtons(true);
    }
}

void TMainForm::ScanDirectory(const std::string& directory) {
    m_scanVisited.clear();
    m_scanTop = CanonicalPath(directory);
    ScanTree(directory, 0);
}

// A link to a directory is entered only when it resolves to a directory inside the scanned tree,
// so a scan never walks out of it (a link to "/" is passed over).
bool TMainForm::EntersLink(const std::string& path) const {
    if (EntryTypeOf(path) != EntryType::Link) {
        return true;
    }
    const std::string resolved = CanonicalPath(path);
    return !resolved.empty() && !m_scanTop.empty() && LiesInside(resolved, m_scanTop);
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
            const std::string path = JoinPath(directory, entry.name);
            if (entry.isDirectory && !entry.isHidden && EntersLink(path)) {
                ScanTree(path, depth + 1);
            }
        }
    }
    for (const DirectoryEntry& entry : entries) {
        if (MatchesMask(entry.name, m_scanMask)) {
            std::string path = JoinPath(directory, entry.name);
            if (HoldsLineBreak(path)) {
                // No result log or project list could hold it as one line.
                m_surface.AddResultLine(ShownPath(path) + " has a line break in its path!");
            } else {
                m_state.inputList.push_back(std::move(path));
            }
        }
    }
}

} // namespace eitool
