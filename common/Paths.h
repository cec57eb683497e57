#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace eitool {

// The separator this platform writes between directory names.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True for the characters that end a directory part in a native path ("/" on Linux; "\", "/"
// and ":" on Windows).
bool IsPathSeparator(char c);
// True for the characters between directory names ("/" on Linux; "\" and "/" on Windows, where
// ":" only ends a drive's name).
bool IsDirectorySeparator(char c);

// The part of a native path after its last separator.
std::string FileNamePart(std::string_view path);
// The part of a native path up to and including its last separator (empty if it has none).
std::string DirectoryPart(std::string_view path);
// The extension of the file-name part, from its last "." on (with the dot); empty if none.
std::string ExtensionPart(std::string_view path);
// A name found inside a game file, reduced to the part after its last "\", "/" or ":" on every
// platform.
std::string GameNamePart(std::string_view name);

// dir + separator + name.
std::string JoinPath(std::string_view dir, std::string_view name);

// Number of hexadecimal digits used for piece indexes of a pack with count entries: 2 digits
// cover up to 255, and every further 2 digits multiply the limit by 256.
int IndexDigits(std::uint32_t count);
// value in upper-case hexadecimal, padded with zeros to digits.
std::string HexIndex(std::uint32_t value, int digits);
// ASCII a-z turned into A-Z, every other byte unchanged.
std::string UpperAscii(std::string_view text);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);

// Wildcard match of a file name against one pattern (* any run, ? one character), letter case
// ignored.
bool MatchesPattern(std::string_view name, std::string_view pattern);
// Match against a mask of patterns separated by ";".
bool MatchesMask(std::string_view name, std::string_view mask);

// True when path, taken lexically ("." and ".." resolved, doubled separators ignored), lies
// inside directory (or is directory itself).
bool IsWithinDirectory(std::string_view path, std::string_view directory);

// True when text holds a CR or an LF, which no line of a result log or a project list can hold.
bool HoldsLineBreak(std::string_view text);

} // namespace eitool
