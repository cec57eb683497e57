#pragma once

#include "run/StatusSurface.h"

#include <chrono>

class QPlainTextEdit;

namespace eitool::gui {

// The window's own part of the status surface: the results pane and the dispatch of pending
// events. The labels, bars and buttons are drawn by the window from the view state that the form
// records on its way here, so their calls do nothing in this class.
class QtSurface : public StatusSurface {
public:
    explicit QtSurface(QPlainTextEdit& results) : m_results(results) {}

    void SetCurrentMessage(const std::string&) override {}
    void SetExtracted(const std::string&) override {}
    int ProgressPosition() const override { return 0; }
    void SetProgressPosition(int) override {}
    void StepProgress() override {}
    void SetTotalMax(int) override {}
    void SetTotalPosition(int) override {}
    void EnableStop(bool) override {}
    void EnableSaveLog(bool) override {}

    void ClearResults() override;
    void AddResultLine(const std::string& line) override;
    // The pane is editable, so its lines are what the user sees now, edits included.
    std::size_t ResultLineCount() const override;
    std::vector<std::string> ResultLines() const override;
    void FocusResults() override;

    // Lets Qt handle the events that wait (repaint, clicks on Stop, key presses), at most once a
    // frame: a run asks for it up to a hundred times a file, and every dispatch repaints what
    // changed, more often than a screen shows it.
    void ProcessMessages() override;
    // The next ProcessMessages dispatches, however soon it comes (a click has just started a run,
    // and what the user did before it is to be seen at once).
    void DispatchAtNextCall() { m_nextDispatch = {}; }
    void ProcessAllMessages() override {
        DispatchAtNextCall();
        ProcessMessages();
    }

private:
    QPlainTextEdit& m_results;
    std::chrono::steady_clock::time_point m_nextDispatch{};
};

} // namespace eitool::gui
