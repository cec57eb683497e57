// The INI style: a text file of numbered blocks. Every block is a header line, "[0x" with the
// block number in 8 upper-case hexadecimal digits and "]", then the text, then CR LF; every line
// feed inside the text is stored as CR LF:
//
//   [0x00000000] CR LF  Hello CR LF  [0x00000001] CR LF  CR LF      (two texts, 37 bytes)
//
// Reading loads the whole file, lists every header found (its block key, "0x" and 8 digits) and
// the end key, the key of the number after the last block, and then cuts each text out of the
// loaded bytes between its own key and the next one.
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "textobject/TextObject.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace eitool::textobject {

namespace {

constexpr std::string_view kHeaderStart = "[0x";
// The length of a whole header, "[0x" + 8 digits + "]".
constexpr std::size_t kHeaderLength = 12;

std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string BlockKey(std::uint32_t number) {
    return "0x" + Hex8(number);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The line feeds of text as a text-mode writer puts them on disk: every LF becomes CR LF, and a
// CR already there stays (so CR LF becomes CR CR LF).
std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// Appends bytes to the file at path, creating it when there is none. Nothing is written through
// a link (throws a FileError that names the file).
void AppendToFile(const std::string& path, std::string_view bytes) {
    const EntryType type = EntryTypeOf(path);
    if (type == EntryType::Link) {
        throw FileCreateError(path, "cannot append to file: it is a link; nothing is written "
                                    "through it");
    }
    FileStream file =
        FileStream::Open(path, type == EntryType::None ? eitool::omCreateNew : eitool::omReadWrite);
    file.Seek(file.Size());
    file.Write(bytes.data(), bytes.size());
    file.Close();
}

} // namespace

int TTextObject::NewINI(TOpenModes mode, int /*unused*/) {
    OpenMode = mode;
    Status = 0;
    TextCount = 0;
    Position = 0;
    if (mode == omWrite) {
        // NOTE: a file that cannot be created or emptied is not reported here: New returns 0 and
        // the first write that cannot append reports it through Status and Log.
        try {
            FileStream::Open(FileName, eitool::omCreate).Close();
        } catch (const RunError&) {
        }
        return static_cast<int>(Status);
    }
    if (!FileExists(FileName)) {
        Status = kStatusFileNotFound;
        return static_cast<int>(Status);
    }
    PreloadINI();
    return static_cast<int>(Status);
}

// Lists the headers of the loaded file in Lines and checks that their numbers run 0, 1, 2, ...
// The scan goes on 12 bytes after the start of each header, the length of a whole one.
void TTextObject::PreloadINI() {
    Position = 0;
    TextCount = 0;
    Status = 0;
    Contents.clear();
    FileSize = 0;

    FileStream file = FileStream::Open(FileName, eitool::omRead);
    const std::uint64_t size = file.Size();
    if (size >= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw CorruptFileError(FileName, "too large for a text file (2 GiB or more)");
    }
    Contents.assign(static_cast<std::size_t>(size) + 1, '\0');
    file.ReadExact(Contents.data(), static_cast<std::size_t>(size));
    file.Close();
    FileSize = static_cast<std::int32_t>(size);

    const std::string_view text(Contents.data(), static_cast<std::size_t>(FileSize));
    Lines.clear();
    std::uint32_t expected = 0;
    std::size_t scan = 0;
    for (;;) {
        const std::size_t at = text.find(kHeaderStart, scan);
        if (at == std::string_view::npos) {
            break;
        }
        // The number runs over as many hexadecimal digits as stand there; one too large for 32
        // bits counts as 0xFFFFFFFF.
        std::size_t i = at + kHeaderStart.size();
        std::uint64_t number = 0;
        while (i < text.size() && HexDigit(text[i]) >= 0) {
            number = std::min<std::uint64_t>(number * 16 + static_cast<unsigned>(HexDigit(text[i])),
                                             0xFFFFFFFFu);
            ++i;
        }
        if (i == at + kHeaderStart.size()) {
            // NOTE: "[0x" without a hexadecimal digit after it is not a header.
            scan = i;
            continue;
        }
        const auto value = static_cast<std::uint32_t>(number);
        Lines.push_back(BlockKey(value));
        if (value != expected && !NoErrors) {
            Log.push_back("Block 0x" + Hex8(expected) + " not found!");
            expected = value;
            Status |= kStatusBlockGap;
        }
        ++expected;
        ++TextCount;
        scan = at + kHeaderLength;
        if (scan >= text.size()) {
            break;
        }
    }
    // NOTE: with NoErrors and a gap the end key counts the headers, so it can be the key of the
    // last block itself; that text then reads as empty.
    Lines.push_back(BlockKey(expected));
    if (Status != 0) {
        Lines.clear();
    }
}

// The text between the first occurrence of key and the first occurrence of endKey at or after
// it (or the end of the file), without the CR LF that ends the header line and without the line
// end that follows the text.
std::string TTextObject::GetCharString(std::string_view key, std::string_view endKey) const {
    const std::size_t loaded =
        std::min(Contents.size(), static_cast<std::size_t>(std::max(FileSize, 0)));
    const std::string_view text(Contents.data(), loaded);
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos) {
        return std::string(NoText);
    }
    std::size_t end = std::min(text.find(endKey, at), text.size());
    const std::size_t start = at + key.size() + 2;
    if (end >= start + 2) {
        if (text[end - 2] == '\r') {
            end -= 2;
        } else if (text[end - 1] == '\n') {
            end -= 1;
        }
    }
    if (start >= end) {
        return std::string();
    }
    return std::string(text.substr(start, end - start));
}

// The line-break rule: with LinuxFormat every line break (LF or CR LF) becomes one LF, with
// SingleLine it goes; a CR without an LF after it stays.
std::string TTextObject::MakeString(std::string_view text) const {
    if (!LinuxFormat && !SingleLine) {
        return std::string(text);
    }
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) {
            result.append(text.substr(pos));
            return result;
        }
        const std::size_t lineEnd = lf > pos && text[lf - 1] == '\r' ? lf - 1 : lf;
        result.append(text.substr(pos, lineEnd - pos));
        pos = lf + 1;
        if (!SingleLine) {
            result += '\n';
        }
    }
}

std::string TTextObject::IniText(std::int64_t k) const {
    if (k < 0 || k + 1 >= static_cast<std::int64_t>(Lines.size())) {
        return std::string(NoText);
    }
    const auto index = static_cast<std::size_t>(k);
    return GetCharString("[" + Lines[index] + "]", "[" + Lines[index + 1] + "]");
}

std::string TTextObject::ReadINI() {
    if (OpenMode == omWrite) {
        return std::string(NoText);
    }
    if (Status != 0 || Position < 0 || Position >= TextCount ||
        Position + std::int64_t{1} >= static_cast<std::int64_t>(Lines.size())) {
        return std::string(OutOfText);
    }
    std::string text = IniText(Position);
    ++Position;
    if (text == NoText) {
        return text;
    }
    return MakeString(text);
}

void TTextObject::WriteINI(const std::string& text) {
    if (OpenMode == omRead) {
        return;
    }
    const std::string key = BlockKey(static_cast<std::uint32_t>(Position));
    Position = static_cast<std::int32_t>(static_cast<std::uint32_t>(Position) + 1);
    try {
        AppendToFile(FileName, "[" + key + "]\r\n" + WithCrLf(text) + "\r\n");
    } catch (const RunError& error) {
        Status |= kStatusWriteFailed;
        Log.push_back("Block " + key + " not written: " + error.what());
    }
}

int TTextObject::GetIniSize() {
    // NOTE: after a preload that found a gap the keys are gone; the size is then 0.
    if (OpenMode == omWrite) {
        return -1;
    }
    if (Status != 0) {
        return 0;
    }
    std::int64_t total = 0;
    for (std::int64_t k = 0; k < TextCount; ++k) {
        const std::string text = IniText(k);
        const std::int64_t length =
            text == NoText ? 0 : static_cast<std::int64_t>(MakeString(text).size());
        total = std::min<std::int64_t>(total + SizeOf(length), kMaxSize);
    }
    return static_cast<int>(total);
}

int TTextObject::GetCurrentLength() {
    if (OpenMode == omWrite || Status != 0 || Position < 0 || Position >= TextCount) {
        return -1;
    }
    const std::string text = IniText(Position);
    if (text == NoText) {
        return -1;
    }
    return static_cast<int>(std::min<std::int64_t>(
        SizeOf(static_cast<std::int64_t>(MakeString(text).size())), kMaxSize));
}

void TTextObject::SetIniPos(int n) {
    // NOTE: a negative number is ignored, like one at or above TextCount.
    if (n >= 0 && n < TextCount) {
        Position = n;
    }
}

} // namespace eitool::textobject
