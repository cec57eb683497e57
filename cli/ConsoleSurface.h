#pragma once

#include "run/StatusSurface.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace eitool::cli {

// The status surface of the command line. Results-pane lines go to standard output as they are
// added; the labels and bars become a one-line progress display on standard error, redrawn at
// most 20 times a second however often the run updates them. Dispatching pending messages is
// where a Ctrl-C is noticed and turned into a press of Stop.
class ConsoleSurface : public StatusSurface {
public:
    struct Options {
        bool echoResults = true; // print results-pane lines on standard output
        bool showProgress = false;
    };

    explicit ConsoleSurface(Options options);

    // What pressing Stop means; called once for every Ctrl-C, at the next dispatch.
    void SetStopHandler(std::function<void()> stop) { m_stop = std::move(stop); }

    void SetCurrentMessage(const std::string& text) override;
    void SetExtracted(const std::string& text) override;
    int ProgressPosition() const override { return m_progress; }
    void SetProgressPosition(int position) override;
    void StepProgress() override;
    void SetTotalMax(int maximum) override;
    void SetTotalPosition(int position) override;
    void ClearResults() override { m_results.clear(); }
    void AddResultLine(const std::string& line) override;
    std::size_t ResultLineCount() const override { return m_results.size(); }
    std::vector<std::string> ResultLines() const override { return m_results; }
    void FocusResults() override {}
    // Printed on standard error as it stands; kept in no results pane.
    void AddReportLine(const std::string& line) override {
        if (m_options.echoResults) {
            PrintError(line);
        }
    }
    // Printed on standard error at once, below the progress display, where results lines are
    // printed too.
    void AddNotice(const std::string& text) override {
        if (m_options.echoResults) {
            PrintError("eitool: " + text);
        }
    }
    // Kept without being printed: the command line prints the failure itself.
    void AddFailureLine(const std::string& line) override { m_results.push_back(line); }
    // Printed on standard output like a results line, without counting as one.
    void AddPlanLine(const std::string& line) override;
    void EnableStop(bool) override {}
    void EnableSaveLog(bool) override {}
    void ProcessMessages() override;
    bool StopWaiting() const override;

    const std::vector<std::string>& Results() const { return m_results; }

    // Ends the progress display: draws the last state of the run once more (both bars full when
    // the run completed) and ends its line. Does nothing before the first status text.
    void FinishDisplay(bool completed);
    // Takes the progress line off the screen (for callers that print their own report below).
    void ClearDisplay();
    // Prints a message on standard error below the progress display, its paths shown with
    // single separators.
    void PrintError(const std::string& message);

private:
    void Changed();
    bool Draw();
    void EraseLine();
    std::string ComposeLine() const;

    Options m_options;
    std::function<void()> m_stop;
    int m_stopsPressed = 0;

    // What the display shows. The end of a run blanks the labels and zeroes the bars; the
    // display keeps the last texts and positions of the run instead, so its final line says
    // where the run stood.
    std::string m_message;
    std::string m_counter;
    int m_progress = 0;
    int m_shownProgress = 0;
    int m_total = 0;
    int m_totalMax = 100;
    bool m_runEnded = false;

    std::vector<std::string> m_results;

    bool m_lineShown = false; // the progress line is on the screen now
    bool m_dirty = false;
    std::chrono::steady_clock::time_point m_nextDraw{};
};

} // namespace eitool::cli
