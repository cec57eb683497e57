#include "cli/ConsoleSurface.h"

#include "cli/Console.h"
#include "cli/Interrupt.h"

#include <algorithm>

namespace eitool::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
constexpr const char* kEraseToEnd = "\033[K";

std::string Bar(int position, int maximum, int width) {
    const int max = maximum > 0 ? maximum : 100;
    const int clamped = std::clamp(position, 0, max);
    const int filled = static_cast<int>(static_cast<long long>(clamped) * width / max);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '-') + "]";
}

std::string Percent(int position, int maximum) {
    const int max = maximum > 0 ? maximum : 100;
    const long long value = static_cast<long long>(std::clamp(position, 0, max)) * 100 / max;
    std::string text = std::to_string(value) + "%";
    return std::string(4 - std::min<std::size_t>(4, text.size()), ' ') + text;
}

} // namespace

ConsoleSurface::ConsoleSurface(Options options) : m_options(options) {}

void ConsoleSurface::SetCurrentMessage(const std::string& text) {
    if (text.empty()) {
        // Only the end of a run blanks the status text.
        m_runEnded = true;
        return;
    }
    m_runEnded = false;
    m_message = text;
    Changed();
}

void ConsoleSurface::SetExtracted(const std::string& text) {
    if (text.empty()) {
        return;
    }
    m_counter = text;
    Changed();
}

void ConsoleSurface::SetProgressPosition(int position) {
    m_progress = position;
    if (!m_runEnded) {
        m_shownProgress = position;
        Changed();
    }
}

void ConsoleSurface::StepProgress() {
    if (m_progress < 100) {
        ++m_progress;
    }
    if (!m_runEnded) {
        m_shownProgress = m_progress;
        Changed();
    }
}

void ConsoleSurface::SetTotalMax(int maximum) {
    if (!m_runEnded) {
        m_totalMax = maximum;
        Changed();
    }
}

void ConsoleSurface::SetTotalPosition(int position) {
    if (!m_runEnded) {
        m_total = position;
        Changed();
    }
}

void ConsoleSurface::AddResultLine(const std::string& line) {
    m_results.push_back(line);
    if (m_options.echoResults) {
        // A results line on the same terminal would otherwise land in the middle of the
        // progress line; it is redrawn below at the next update.
        if (m_lineShown && StdoutIsTerminal()) {
            EraseLine();
        }
        WriteStdout(SingleSeparators(line) + "\n");
    }
}

void ConsoleSurface::AddPlanLine(const std::string& line) {
    if (m_options.echoResults) {
        if (m_lineShown && StdoutIsTerminal()) {
            EraseLine();
        }
        WriteStdout(SingleSeparators(line) + "\n");
    }
}

void ConsoleSurface::ProcessMessages() {
    // Every Ctrl-C is one press of Stop.
    for (const int interrupts = InterruptCount(); m_stopsPressed < interrupts;) {
        ++m_stopsPressed;
        if (m_stop) {
            m_stop();
        }
    }
    if (m_dirty) {
        Changed();
    }
}

bool ConsoleSurface::StopWaiting() const {
    return InterruptCount() > m_stopsPressed;
}

void ConsoleSurface::FinishDisplay(bool completed) {
    // The last state is drawn before the summary, even where the whole run was shorter than one
    // redraw interval.
    if (!m_options.showProgress) {
        return;
    }
    if (completed) {
        m_shownProgress = 100;
        m_total = m_totalMax;
    }
    Draw();
    if (m_lineShown) {
        WriteStderr("\n");
        m_lineShown = false;
    }
}

void ConsoleSurface::ClearDisplay() {
    if (m_lineShown) {
        EraseLine();
    }
}

void ConsoleSurface::PrintError(const std::string& message) {
    if (m_lineShown) {
        EraseLine();
    }
    WriteStderr(SingleSeparators(message) + "\n");
}

void ConsoleSurface::Changed() {
    if (!m_options.showProgress) {
        return;
    }
    m_dirty = true;
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextDraw) {
        return;
    }
    // The interval starts with a line drawn: a change before the first status text draws
    // nothing, so the first drawable state is drawn at once.
    if (Draw()) {
        m_nextDraw = now + kRedrawInterval;
    }
}

bool ConsoleSurface::Draw() {
    if (m_message.empty()) {
        return false; // nothing worth showing before the first status text
    }
    // Into a file or a pipe, every redraw is a line of its own, without cursor controls.
    if (StderrIsTerminal()) {
        WriteStderr("\r" + ComposeLine() + kEraseToEnd);
        m_lineShown = true;
    } else {
        WriteStderr(ComposeLine() + "\n");
    }
    m_dirty = false;
    return true;
}

void ConsoleSurface::EraseLine() {
    WriteStderr(std::string("\r") + kEraseToEnd);
    m_lineShown = false;
    // Draw again at the next change rather than waiting for the interval.
    m_nextDraw = {};
}

std::string ConsoleSurface::ComposeLine() const {
    // Processing data.tre...  Extracted: 5 of 10  file [##########----------]  50%  all
    // [#####-----]  50% On a narrow terminal the bars shrink and then go, then the front of the
    // status text gives way (its end names the file); the counter is cut last.
    const std::string head = m_counter.empty() ? "" : "  " + m_counter;
    auto bars = [&](int width) {
        return "  file " + Bar(m_shownProgress, 100, width) + Percent(m_shownProgress, 100) +
               "  all " + Bar(m_total, m_totalMax, width / 2) + Percent(m_total, m_totalMax);
    };
    if (!StderrIsTerminal()) {
        return m_message + head + bars(20);
    }
    // One column less than the terminal, or the cursor would wrap and "\r" no longer reach the
    // start of the line.
    const std::size_t columns = static_cast<std::size_t>(std::max(20, StderrColumns() - 1));
    std::string tail = head;
    for (const int width : {20, 12, 8, 4}) {
        if (m_message.size() + head.size() + bars(width).size() <= columns) {
            tail = head + bars(width);
            break;
        }
    }
    std::string message = m_message;
    if (message.size() + tail.size() > columns) {
        const std::size_t room = columns > tail.size() ? columns - tail.size() : 0;
        message = room > 8 ? "..." + message.substr(message.size() - (room - 3)) : "";
    }
    std::string line = message + tail;
    if (line.size() > columns) {
        line.resize(columns);
    }
    return line;
}

} // namespace eitool::cli
