#pragma once

#include "run/StatusSurface.h"

#include <chrono>
#include <functional>
#include <windows.h>

namespace eitool::win32 {

// Takes a message before it is translated and dispatched (the main window's accelerators); true
// when it was handled.
using MessageFilter = std::function<bool(MSG&)>;

// Dispatches the messages that wait for this thread, filter first. A WM_QUIT met on the way is
// posted again for the message loop and ends the dispatch.
void DispatchPending(const MessageFilter& filter);

// The window's own part of the status surface: the results pane (a plain-text RichEdit20A) and
// the dispatch of pending messages. The labels, bars and buttons are drawn by the window from the
// view state that the form records on its way here, so their calls do nothing in this class.
class Win32Surface : public StatusSurface {
public:
    Win32Surface(HWND results, MessageFilter filter);

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
    // The pane is editable, so its lines are what the user sees now, edits included. The pane
    // ends a paragraph with CR, and its own line count counts wrapped lines: the lines are its
    // text split at CR.
    std::size_t ResultLineCount() const override;
    std::vector<std::string> ResultLines() const override;
    void FocusResults() override;

    // Dispatches what waits (repaint, clicks on Stop, key presses) at most once a frame: a run
    // asks for it up to a hundred times a file, and every dispatch repaints what changed.
    void ProcessMessages() override;
    // The next ProcessMessages dispatches, however soon it comes.
    void DispatchAtNextCall() { m_nextDispatch = {}; }
    void ProcessAllMessages() override {
        DispatchAtNextCall();
        ProcessMessages();
    }

private:
    std::string Text() const;
    long TextLength() const;

    HWND m_results;
    MessageFilter m_filter;
    std::chrono::steady_clock::time_point m_nextDispatch{};
};

} // namespace eitool::win32
