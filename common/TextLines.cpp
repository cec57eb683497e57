#include "common/TextLines.h"

#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "common/RunError.h"

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
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t size = file.Size();
    std::string text;
    text.resize(static_cast<std::size_t>(size));
    file.ReadExact(text.data(), text.size());
    return SplitTextLines(text);
}

void SaveTextLines(const std::string& path, const TextLines& lines) {
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
    try {
        PendingFile file(path);
        file.WriteAll(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        file.Commit();
    } catch (const FileWriteError&) {
        throw;
    } catch (const FileError& error) {
        throw FileWriteError(path, std::string("cannot write the file (") + error.what() + ")");
    }
}

} // namespace eitool
