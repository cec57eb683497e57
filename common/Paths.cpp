#include "common/Paths.h"

#include <vector>

namespace eitool {

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

bool IsDirectorySeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

namespace {

std::size_t AfterLastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1])) {
            return i;
        }
    }
    return 0;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string FileNamePart(std::string_view path) {
    return std::string(path.substr(AfterLastSeparator(path)));
}

std::string DirectoryPart(std::string_view path) {
    return std::string(path.substr(0, AfterLastSeparator(path)));
}

std::string ExtensionPart(std::string_view path) {
    const std::string_view name = path.substr(AfterLastSeparator(path));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string GameNamePart(std::string_view name) {
    const std::size_t cut = name.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string JoinPath(std::string_view dir, std::string_view name) {
    std::string result;
    result.reserve(dir.size() + 1 + name.size());
    result += dir;
    result += kPathSeparator;
    result += name;
    return result;
}

int IndexDigits(std::uint32_t count) {
    int digits = 2;
    std::uint64_t limit = 255;
    while (limit < count) {
        digits += 2;
        limit = limit * 256 + 255;
    }
    return digits;
}

std::string HexIndex(std::uint32_t value, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    while (value != 0) {
        text.insert(text.begin(), kHex[value & 0xF]);
        value >>= 4;
    }
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    }
    return text;
}

std::string UpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Iterative wildcard match with one backtrack point: a later "*" makes earlier choices final.
bool MatchesPattern(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    std::size_t start = 0;
    while (start <= mask.size()) {
        std::size_t end = mask.find(';', start);
        if (end == std::string_view::npos) {
            end = mask.size();
        }
        const std::string_view pattern = mask.substr(start, end - start);
        if (!pattern.empty() && MatchesPattern(name, pattern)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

namespace {

// The lexical components of a path: empty and "." parts dropped, ".." removing the part before
// it (and kept when there is none, so that it still counts as leaving).
std::vector<std::string_view> NormalComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = i;
        while (j < path.size() && !IsPathSeparator(path[j]) && path[j] != '/') {
            ++j;
        }
        const std::string_view part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    return parts;
}

} // namespace

bool IsWithinDirectory(std::string_view path, std::string_view directory) {
    const auto dirParts = NormalComponents(directory);
    const auto pathParts = NormalComponents(path);
    if (pathParts.size() < dirParts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < dirParts.size(); ++i) {
        if (pathParts[i] != dirParts[i]) {
            return false;
        }
    }
    for (std::size_t i = dirParts.size(); i < pathParts.size(); ++i) {
        if (pathParts[i] == "..") {
            return false;
        }
    }
    return true;
}

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace eitool
