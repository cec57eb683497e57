#include "cli/ConsoleSurface.h"

#include <algorithm>

#include "cli/Console.h"
#include "cli/Interrupt.h"

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
        WriteStdout(line + "\n");
    }
}

void ConsoleSurface::ProcessMessages() {
    if (!m_stopPressed && InterruptRequested()) {
        m_stopPressed = true;
        if (m_stop) {
            m_stop();
        }
    }
    if (m_dirty) {
        Changed();
    }
}

void ConsoleSurface::FinishDisplay(bool completed) {
    if (!m_options.showProgress || !m_everDrawn) {
        return;
    }
    if (completed) {
        m_shownProgress = 100;
        m_total = m_totalMax;
    }
    Draw();
    WriteStderr("\n");
    m_lineShown = false;
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
    WriteStderr(message + "\n");
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
    m_nextDraw = now + kRedrawInterval;
    Draw();
}

void ConsoleSurface::Draw() {
    WriteStderr("\r" + ComposeLine() + kEraseToEnd);
    m_lineShown = true;
    m_everDrawn = true;
    m_dirty = false;
}

void ConsoleSurface::EraseLine() {
    WriteStderr(std::string("\r") + kEraseToEnd);
    m_lineShown = false;
    // Draw again at the next change rather than waiting for the interval.
    m_nextDraw = {};
}

std::string ConsoleSurface::ComposeLine() const {
    // file [##########----------]  50%  run [#####-----]  50%  Extracted: 5 of 10
    std::string bars = "  file " + Bar(m_shownProgress, 100, 20) + Percent(m_shownProgress, 100) +
                       "  run " + Bar(m_total, m_totalMax, 10) + Percent(m_total, m_totalMax);
    if (!m_counter.empty()) {
        bars += "  " + m_counter;
    }
    // Keep the line narrower than the terminal, or "\r" would no longer reach its start: the
    // status text gives way first, from its front, since its end names the file.
    const std::size_t columns = static_cast<std::size_t>(std::max(20, StderrColumns() - 1));
    std::string message = m_message;
    if (message.size() + bars.size() > columns) {
        const std::size_t room = columns > bars.size() + 3 ? columns - bars.size() : 3;
        message = room > 3 ? "..." + message.substr(message.size() - (room - 3)) : "";
        if (message.size() > room) {
            message.clear();
        }
    }
    std::string line = message + bars;
    if (line.size() > columns) {
        line.resize(columns);
    }
    return line;
}

} // namespace eitool::cli
