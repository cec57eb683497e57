#include "cli/Console.h"

#include "common/Paths.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace eitool::cli {

namespace {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void WriteAndFlush(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

bool StderrIsTerminal() {
    return IsTerminal(stderr);
}
bool StdoutIsTerminal() {
    return IsTerminal(stdout);
}

int StderrColumns() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
#else
    winsize size{};
    if (ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
#endif
    return 80;
}

void WriteStdout(const std::string& text) {
    WriteAndFlush(stdout, text);
}
void WriteStderr(const std::string& text) {
    WriteAndFlush(stderr, text);
}

std::string SingleSeparators(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
#ifdef _WIN32
    if (text.size() >= 2 && IsDirectorySeparator(text[0]) && IsDirectorySeparator(text[1])) {
        result = text.substr(0, 2);
        i = 2;
    }
#endif
    for (; i < text.size(); ++i) {
        if (!(IsDirectorySeparator(text[i]) && !result.empty() &&
              IsDirectorySeparator(result.back()))) {
            result += text[i];
        }
    }
    return result;
}

} // namespace eitool::cli
