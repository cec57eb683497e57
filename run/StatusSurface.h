#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace eitool {

// What the batch run, the log replay and every handler report through: the status label
// (CurrentMessage), the counter label (Extracted), the per-file bar (Progress), the whole-run bar
// (Total), the results pane (Results) and the Stop and Save results buttons. The window, the
// command line and the tests each implement it.
class StatusSurface {
public:
    virtual ~StatusSurface() = default;

    virtual void SetCurrentMessage(const std::string& text) = 0;
    // Sets the counter text and repaints it at once, without dispatching other messages.
    virtual void SetExtracted(const std::string& text) = 0;

    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    // Adds one to the per-file bar; the bar stops at its maximum (100).
    virtual void StepProgress() = 0;

    virtual void SetTotalMax(int maximum) = 0;
    virtual void SetTotalPosition(int position) = 0;

    virtual void ClearResults() = 0;
    virtual void AddResultLine(const std::string& line) = 0;
    virtual std::size_t ResultLineCount() const = 0;
    // The lines of the results pane, first to last (what "Save results" writes).
    virtual std::vector<std::string> ResultLines() const = 0;
    virtual void FocusResults() = 0;
    // A note for the user that is not a results line (the pane and the run's outcome stay as
    // they are): the command line prints it on standard error, the window may leave it out.
    virtual void AddNotice(const std::string& /*text*/) {}
    // A report of something done that the user should read, not a problem: the window shows it
    // in the results pane, the command line prints it on standard error without counting it
    // among the results lines.
    virtual void AddReportLine(const std::string& line) { AddResultLine(line); }
    // What a dry run would do with one piece or file (RunState::DryRun), one line each: not a
    // results line, so the run's outcome stays that of a real run.
    virtual void AddPlanLine(const std::string& /*line*/) {}
    // The text of a failure that ended the run, kept in the results pane so that it can be saved
    // with the rest. The command line, which prints the failure on standard error, keeps it
    // without printing it again.
    virtual void AddFailureLine(const std::string& line) { AddResultLine(line); }

    virtual void EnableStop(bool enabled) = 0;
    virtual void EnableSaveLog(bool enabled) = 0;

    // Lets the platform handle what waits for the program's one thread (repaint, clicks, Stop).
    virtual void ProcessMessages() = 0;
    // Dispatches at once, whatever pace of dispatching the front end keeps otherwise: between two
    // files of a run, where a press of Stop decides whether the next file starts.
    virtual void ProcessAllMessages() { ProcessMessages(); }
    // Whether a press of Stop is known to wait for the next dispatch (the command line's
    // signals), so that a handler between two steps dispatches at once instead of at its next
    // percentage.
    virtual bool StopWaiting() const { return false; }
};

// Sets the per-file bar to value and dispatches pending messages, but only when value differs
// from the bar's position, so a file causes at most one dispatch per percentage.
void UpdateFileProgress(StatusSurface& surface, std::int32_t value);

} // namespace eitool
