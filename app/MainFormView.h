#pragma once

#include "common/TextLines.h"
#include "run/StatusSurface.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace eitool {

// Which part of the main window's view state changed; combined as bits.
enum ViewChange : unsigned {
    vcControls = 1u << 0, // enabled states
    vcList = 1u << 1,     // entries, selection, current entry
    vcStatus = 1u << 2,   // labels and bars
    vcClose = 1u << 3,    // the window is asked to close
};

// The enabled state of every control that the form's logic switches.
struct ControlStates {
    bool BAddLog = true;
    bool ProcessDir = true;
    bool BSaveList = false;
    bool BRemLog = false;
    bool BClearAll = false;
    bool BProcess = false;
    bool BExit = true;
    bool Stop = false;
    bool SaveLog = false;
};

// Everything the main window shows apart from the results pane, as plain data. A window only
// draws it, again whenever the observer is told of a change.
class MainFormView {
public:
    using Observer = std::function<void(unsigned changes)>;

    explicit MainFormView(const TextLines& entries) : m_entries(entries) {}

    // The entries of the list box LogList: the input list itself.
    const TextLines& LogList() const { return m_entries; }

    ControlStates enabled;
    // The selected entries of LogList, ascending, each below LogList().size().
    std::vector<std::size_t> selected;
    // The current entry of LogList, or -1 for none.
    int current = -1;

    std::string CurrentMessage;
    std::string Extracted = "Extracted: 0";
    int Progress = 0;
    int Total = 0;
    int TotalMax = 100;
    // The caption of Stop: "Stop", or "Abort" once a first press asked the run to end after the
    // current file (a second press aborts that file).
    std::string StopCaption = "Stop";
    // Set by that first press until the run ends: what the run will do now.
    std::string StopNotice;
    // The caption of the frame GroupBox1: " Process ", with the stop notice while there is one.
    std::string FrameCaption() const;
    // What the last run did (RunSummary), shown in the frame from the end of that run until the
    // next run has its target; empty before the first.
    std::string Summary;

    // Set by BExitClick; the front end closes the window.
    bool closeRequested = false;

    // True while BProcessClick runs (its dialogs included).
    bool running = false;
    // The enabled states as the window shows them. While a run goes on, the controls that would
    // change the input list, ResultLog or TargetDirectory under it, or start a second run or a
    // scan, are off; Stop, Save results, the list's saving and Exit keep their own states.
    ControlStates Shown() const;

    void SetObserver(Observer observer) { m_observer = std::move(observer); }
    void Changed(unsigned changes) const {
        if (m_observer) {
            m_observer(changes);
        }
    }

private:
    const TextLines& m_entries;
    Observer m_observer;
};

// The status surface the form gives to the run and the handlers: it records the labels, the bars
// and the state of Stop and Save results into the view state, tells the observer, and passes
// every call on to the front end's surface, which keeps the results pane.
class ViewSurface : public StatusSurface {
public:
    ViewSurface(MainFormView& view, StatusSurface& frontEnd) : m_view(view), m_frontEnd(frontEnd) {}

    void SetCurrentMessage(const std::string& text) override;
    void SetExtracted(const std::string& text) override;
    int ProgressPosition() const override { return m_view.Progress; }
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    void SetTotalMax(int maximum) override;
    void SetTotalPosition(int position) override;
    void ClearResults() override { m_frontEnd.ClearResults(); }
    void AddResultLine(const std::string& line) override { m_frontEnd.AddResultLine(line); }
    std::size_t ResultLineCount() const override { return m_frontEnd.ResultLineCount(); }
    std::vector<std::string> ResultLines() const override { return m_frontEnd.ResultLines(); }
    void FocusResults() override { m_frontEnd.FocusResults(); }
    void AddNotice(const std::string& text) override { m_frontEnd.AddNotice(text); }
    void AddReportLine(const std::string& line) override { m_frontEnd.AddReportLine(line); }
    void AddPlanLine(const std::string& line) override { m_frontEnd.AddPlanLine(line); }
    void AddFailureLine(const std::string& line) override { m_frontEnd.AddFailureLine(line); }
    void EnableStop(bool enabled) override;
    void EnableSaveLog(bool enabled) override;
    void ProcessMessages() override { m_frontEnd.ProcessMessages(); }
    void ProcessAllMessages() override { m_frontEnd.ProcessAllMessages(); }
    bool StopWaiting() const override { return m_frontEnd.StopWaiting(); }

    // While set, the whole-run bar shows what the per-file bar shows, whatever position the run
    // gives it (a run of one file).
    void SetTotalFollowsProgress(bool follows);

private:
    void FollowProgress();

    MainFormView& m_view;
    StatusSurface& m_frontEnd;
    bool m_totalFollowsProgress = false;
};

} // namespace eitool
