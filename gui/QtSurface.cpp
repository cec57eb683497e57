#include "gui/QtSurface.h"

#include "gui/QtText.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace eitool::gui {

void QtSurface::ClearResults() {
    m_results.clear();
}

void QtSurface::AddResultLine(const std::string& line) {
    m_results.appendPlainText(ToQt(line));
}

std::size_t QtSurface::ResultLineCount() const {
    const QTextDocument* document = m_results.document();
    return document->isEmpty() ? 0 : static_cast<std::size_t>(document->blockCount());
}

std::vector<std::string> QtSurface::ResultLines() const {
    std::vector<std::string> lines;
    const QTextDocument* document = m_results.document();
    if (document->isEmpty()) {
        return lines;
    }
    lines.reserve(static_cast<std::size_t>(document->blockCount()));
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        lines.push_back(FromQt(block.text()));
    }
    return lines;
}

void QtSurface::FocusResults() {
    m_results.setFocus(Qt::OtherFocusReason);
}

void QtSurface::ProcessMessages() {
    constexpr std::chrono::milliseconds kDispatchInterval(16);
    if (std::chrono::steady_clock::now() < m_nextDispatch) {
        return;
    }
    QCoreApplication::processEvents();
    // Counted from the end of the dispatch, so that slow repaints cannot take the run's time.
    m_nextDispatch = std::chrono::steady_clock::now() + kDispatchInterval;
}

} // namespace eitool::gui
