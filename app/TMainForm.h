#pragma once

#include "app/Dialogs.h"
#include "app/MainFormView.h"
#include "app/TDirForm.h"
#include "run/RunContext.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace eitool {

// Asked once per run when the run state's Grow is Ask and an insertion finds grown pieces.
inline constexpr const char* kRebuildPacksQuestion =
    "Some pieces are larger than their members. Rebuild the packs so that they fit?";

// The main window without a toolkit: it owns the run state, the view state and the directory
// dialog, and holds the logic of every button. The window draws the view state and forwards
// clicks; the command line answers the dialogs from its arguments and presses the same buttons;
// tests do the same with a recording surface and scripted dialogs.
class TMainForm {
public:
    // surface is the front end's own: it keeps the results pane and dispatches messages.
    TMainForm(StatusSurface& surface, Dialogs& dialogs);
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    RunState& State() { return m_state; }
    const RunState& State() const { return m_state; }
    const MainFormView& View() const { return m_view; }
    void SetViewObserver(MainFormView::Observer observer) {
        m_view.SetObserver(std::move(observer));
    }
    TDirForm& DirForm() { return m_dirForm; }
    // The surface the run and the handlers report through.
    StatusSurface& Surface() { return m_surface; }
    RunContext Context() {
        return RunContext{m_state, m_surface, m_writeHook, [this] { return AskReplaceEdited(); },
                          [this] { return AskRebuildPacks(); }};
    }
    void SetWriteHook(WriteHook* hook) { m_writeHook = hook; }

    // The dialogs of the window, kept from one showing to the next.
    FileDialog SelectLog;
    FileDialog SaveLST;
    FileDialog SaveRes;

    // The list box: selecting entries (indexes past the end are dropped) and the current entry
    // (-1 for none).
    void SelectEntries(std::vector<std::size_t> entries);
    void SetCurrentEntry(int entry);

    // Tool buttons.
    void BAddLogClick();
    // Adds paths as if they had been chosen in SelectLog with the file type that all their names
    // match (files dropped on the list, files named on the command line). Paths of no type or of
    // several types are refused with a message box: nothing changes and the result is false.
    bool AddFiles(const TextLines& paths);
    void ProcessDirClick();
    void BSaveListClick();
    void BRemLogClick();
    void BClearAllClick();
    void BProcessClick();
    void BExitClick();
    // Buttons of the status surface.
    void SaveLogClick();
    void StopClick();

    // Handles one input file by kind.
    void ProcessInputFile(std::uint8_t kind, const std::string& path);
    // Replays one result log (insertion).
    void ReplayLog(const std::string& logPath);
    // Appends every file of the tree below directory that matches the chosen type mask.
    void ScanDirectory(const std::string& directory);

private:
    void AddChosenFiles(const FileDialog* chosen);
    int TypeOfChoice(const TextLines& files, int fallback);
    void DisableForNewList();
    // Entries of the input list the run has gone through (handled, or passed over as not a
    // regular file); an aborted file is not among them.
    std::size_t m_entriesHandled = 0;
    void EnableListButtons(bool enabled);
    void EmptyList();
    void ScanTree(const std::string& directory, int depth);
    bool EntersLink(const std::string& path) const;
    void RunInputList();
    void HandleInputFiles();
    void ResetFrame();
    void EndRunAfterFailure(const std::string& text);
    void SaveResultLog();
    void PutOldResultLogBack();
    bool AskReplaceEdited();
    bool AskRebuildPacks();

    RunState m_state;
    MainFormView m_view;
    ViewSurface m_surface;
    Dialogs& m_dialogs;
    WriteHook* m_writeHook = nullptr;
    // When the running batch run had its target chosen; none before that.
    std::optional<std::chrono::steady_clock::time_point> m_runStart;
    std::string m_scanMask; // the mask of the type chosen for the running scan
    std::unordered_set<std::string> m_scanVisited; // resolved directories the scan has entered
    std::string m_scanTop; // the running scan's root, resolved; links may not lead out of it
    TDirForm m_dirForm;
};

} // namespace eitool
