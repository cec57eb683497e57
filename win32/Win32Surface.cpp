#include "win32/Win32Surface.h"

#include <algorithm>
#include <richedit.h>

namespace eitool::win32 {

namespace {

// The most messages one dispatch takes, so that a stream of posted messages cannot hold the run.
constexpr int kMaxDispatched = 10000;

} // namespace

void DispatchPending(const MessageFilter& filter) {
    MSG msg;
    for (int dispatched = 0;
         dispatched < kMaxDispatched && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
         ++dispatched) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!filter || !filter(msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

Win32Surface::Win32Surface(HWND results, MessageFilter filter)
    : m_results(results), m_filter(std::move(filter)) {}

long Win32Surface::TextLength() const {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, CP_ACP};
    return static_cast<long>(
        SendMessageA(m_results, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

std::string Win32Surface::Text() const {
    const auto length = SendMessageA(m_results, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const auto copied = SendMessageA(m_results, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
    return text;
}

void Win32Surface::ClearResults() {
    SetWindowTextA(m_results, "");
}

void Win32Surface::AddResultLine(const std::string& line) {
    const long end = TextLength();
    CHARRANGE range{end, end};
    SendMessageA(m_results, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    const std::string text = end == 0 ? line : "\r" + line;
    SendMessageA(m_results, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

std::size_t Win32Surface::ResultLineCount() const {
    const std::string text = Text();
    return text.empty() ? 0
                        : static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')) + 1;
}

std::vector<std::string> Win32Surface::ResultLines() const {
    std::vector<std::string> lines;
    const std::string text = Text();
    if (text.empty()) {
        return lines;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\r', start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
        if (start < text.size() && text[start] == '\n') {
            ++start; // the pane may give CR LF
        }
    }
    return lines;
}

void Win32Surface::FocusResults() {
    SetFocus(m_results);
}

void Win32Surface::ProcessMessages() {
    constexpr std::chrono::milliseconds kDispatchInterval(16);
    if (std::chrono::steady_clock::now() < m_nextDispatch) {
        return;
    }
    DispatchPending(m_filter);
    // Counted from the end of the dispatch, so that slow repaints cannot take the run's time.
    m_nextDispatch = std::chrono::steady_clock::now() + kDispatchInterval;
}

} // namespace eitool::win32
