#include "common/TextLines.h"

#include "common/FileStream.h"
#include "common/PendingFile.h"

namespace eitool {

TextLines SplitTextLines(std::string_view text) {
    TextLines lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
                ++i;
            }
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

TextLines LoadTextLines(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return SplitTextLines(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void SaveTextLines(const std::string& path, const TextLines& lines, WriteHook* hook) {
    std::size_t total = 0;
    for (const auto& line : lines) {
        total += line.size() + 2;
    }
    std::string text;
    text.reserve(total);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    ReplaceFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                hook);
}

} // namespace eitool
