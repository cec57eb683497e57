#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "app/Dialogs.h"
#include "run/RunContext.h"

namespace eitool {

// Enabled state of the window's tool buttons, as plain data (Stop and Save results belong to the
// status surface).
struct ToolButtonStates {
    bool BAddLog = true;
    bool ProcessDir = true;
    bool BSaveList = false;
    bool BRemLog = false;
    bool BClearAll = false;
    bool BProcess = false;
    bool BExit = true;
};

// The main window without a toolkit: it owns the run state and the logic of every button. The
// window draws it and forwards clicks; the command line fills the list and presses Process; tests
// do the same with a recording surface and scripted dialogs.
class TMainForm {
public:
    TMainForm(StatusSurface& surface, Dialogs& dialogs);

    RunState& State() { return m_state; }
    const RunState& State() const { return m_state; }
    StatusSurface& Surface() { return m_surface; }
    const ToolButtonStates& Buttons() const { return m_buttons; }
    RunContext Context() { return RunContext{m_state, m_surface, m_writeHook}; }
    void SetWriteHook(WriteHook* hook) { m_writeHook = hook; }

    // What the Add button does once the open dialog has confirmed: files of the file type at
    // filterIndex (1 to 5). A project list (kind 5) replaces the list with its lines.
    void AddFilesConfirmed(int filterIndex, const TextLines& files);

    // The Process button: the batch run.
    void BProcessClick();
    // Handles one input file by kind.
    void ProcessInputFile(std::uint8_t kind, const std::string& path);
    // Replays one result log (insertion).
    void ReplayLog(const std::string& logPath);

    // What the Process Directory button does once the directory dialog has closed with OK:
    // scanDir as typed, the chosen type (0 to 4) and its mask.
    void ProcessDirConfirmed(const std::string& scanDir, int typeIndex,
                             const std::string& typeMask);
    // Appends every file of the tree below directory that matches the current type mask.
    void ScanDirectory(const std::string& directory);

    void StopClick();

private:
    void EnableListButtons(bool enabled);
    void ScanTree(const std::string& directory, int depth);
    std::int32_t CallInserter(const std::string& outputPath, std::int32_t firstLine);

    RunState m_state;
    StatusSurface& m_surface;
    Dialogs& m_dialogs;
    WriteHook* m_writeHook = nullptr;
    ToolButtonStates m_buttons;
    std::string m_scanMask; // the mask of the type chosen for the running scan
    std::unordered_set<std::string> m_scanVisited; // resolved directories the scan has entered
};

} // namespace eitool
