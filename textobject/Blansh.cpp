// The blank style: the texts are blocks of entries in Lines, each block a separator line, a
// header line, the text (one entry per line once saved and loaded again) and an end line:
//
//   _______________________________
//   #H#E#A#D#E#R#<type>#[<number>#][<checksum>#]
//   Hello
//   #E#N#D#
//
// The type is 0 (ttIndexed), 1 (ttPlain) or 2 (ttStringDepeneded), 128 more with CRC; only
// ttIndexed writes the text's number; with CRC the checksum is the sum of the header's
// characters up to it, as signed bytes. Reading does not look at the header: it skips the two
// entries after the cursor and takes the entries up to the end line. Positioning counts
// separator lines.
//
// NOTE: Lines that do not follow the layout get a defined result: a block without its end line
// runs to the end of Lines when read or rewritten, and is left out of the size.
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "textobject/TextObject.h"

#include <algorithm>

namespace eitool::textobject {

namespace {

// A blank-style file above this size is refused: each line costs a string of its own.
constexpr std::uint64_t kMaxBlanshFileSize = 64u << 20;

void StepUp(std::int32_t& value) {
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + 1);
}

} // namespace

void TTextObject::NewBlansh() {
    Position = 0;
    LinePos = 0;
    Lines.clear();
    TextCount = 0;
    Log.clear();
}

bool TTextObject::LoadText(const std::string& fileName) {
    if (!FileExists(fileName)) {
        return false;
    }
    FileStream file = FileStream::Open(fileName, eitool::omRead);
    const std::uint64_t size = file.Size();
    if (size > kMaxBlanshFileSize) {
        throw CorruptFileError(fileName, "too large for a text file of the blank style (over " +
                                             std::to_string(kMaxBlanshFileSize >> 20) + " MiB)");
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    file.ReadExact(bytes.data(), bytes.size());
    file.Close();
    TextLines lines = SplitTextLines(bytes);
    // NOTE: the blank-style state is reset directly, whatever TextStyle is, so the file named
    // by FileName is never emptied by a load.
    Log.clear();
    NewBlansh();
    Lines = std::move(lines);
    return true;
}

std::string TTextObject::ReadBlansh() {
    const std::size_t size = Lines.size();
    std::size_t pos = Cursor();
    if (size <= pos + 2) {
        return std::string(OutOfText);
    }
    pos += 2;
    std::string text;
    while (pos < size && Lines[pos] != EndMark) {
        text += Lines[pos];
        ++pos;
        if (pos < size && Lines[pos] != EndMark && !SingleLine) {
            text += LinuxFormat ? "\n" : "\r\n";
        }
    }
    if (pos < size) {
        ++pos;
    }
    LinePos = static_cast<std::int32_t>(pos);
    StepUp(Position);
    Log.push_back(text);
    return text;
}

void TTextObject::WriteBlansh(const std::string& text) {
    const std::size_t pos = Cursor();
    std::string header = std::string(HeaderMark) +
                         std::to_string(static_cast<int>(TextType) + (CRC ? 128 : 0)) + "#";
    if (TextType == ttIndexed) {
        header += std::to_string(Position) + "#";
    }
    if (CRC) {
        int sum = 0;
        for (const char c : header) {
            sum += static_cast<signed char>(c);
        }
        header += std::to_string(sum) + "#";
    }
    // Inserted at the cursor: on an existing block the new one goes in front of it.
    const auto at = Lines.begin() + static_cast<std::ptrdiff_t>(pos);
    Lines.insert(at, {std::string(Separator), header, text, std::string(EndMark)});
    LinePos = static_cast<std::int32_t>(pos + 4);
    StepUp(Position);
    StepUp(TextCount);
}

// Replaces the text entries of the block at the cursor; its separator and header stay. Behind
// the last block the text is written as a new block.
void TTextObject::RewriteBlansh(const std::string& text) {
    std::size_t pos = Cursor();
    if (pos >= Lines.size()) {
        WriteBlansh(text);
        return;
    }
    pos = std::min(pos + 2, Lines.size());
    const auto first = Lines.begin() + static_cast<std::ptrdiff_t>(pos);
    Lines.erase(first, std::find(first, Lines.end(), EndMark));
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(pos), text);
    while (pos < Lines.size() && Lines[pos] != EndMark) {
        ++pos;
    }
    if (pos < Lines.size()) {
        ++pos;
    }
    LinePos = static_cast<std::int32_t>(pos);
    StepUp(Position);
}

// The size of every block from the first, whatever the cursor: its text entries joined with
// CR LF (2 bytes even under LinuxFormat; nothing under SingleLine), by the size rule.
int TTextObject::GetBlanshSize() {
    const std::size_t size = Lines.size();
    std::int64_t total = 0;
    std::size_t i = 0;
    while (size > i) {
        i = std::min(i + 2, size);
        const auto end =
            std::find(Lines.begin() + static_cast<std::ptrdiff_t>(i), Lines.end(), EndMark);
        if (end == Lines.end()) {
            break;
        }
        const auto j = static_cast<std::size_t>(end - Lines.begin());
        std::int64_t length = 0;
        for (std::size_t k = i; k < j; ++k) {
            length +=
                static_cast<std::int64_t>(Lines[k].size()) + (k + 1 < j && !SingleLine ? 2 : 0);
        }
        total = std::min<std::int64_t>(total + SizeOf(length), kMaxSize);
        i = j + 1;
    }
    return static_cast<int>(total);
}

// Moves the cursor to block n, counting separator lines from the current block (Position is
// taken to be its number). Behind the last block it starts from the last block.
void TTextObject::SetBlanshPos(int n) {
    const auto size = static_cast<std::int64_t>(Lines.size());
    // NOTE: with no lines, no separator at or before the cursor, or a count that runs off the
    // start, nothing moves; a count that runs off the end leaves the cursor behind the last
    // block and Position as it was.
    if (size == 0) {
        return;
    }
    auto pos = static_cast<std::int64_t>(Cursor());
    const std::int32_t startLinePos = LinePos;
    std::int64_t position = Position;
    if (pos >= size) {
        --pos;
        --position;
    }
    std::int64_t d = std::int64_t{n} - position;
    const int step = d < 0 ? -1 : 1;
    d = d < 0 ? -d : d;
    while (Lines[static_cast<std::size_t>(pos)] != Separator) {
        if (--pos < 0) {
            LinePos = startLinePos;
            return;
        }
    }
    for (std::int64_t k = 0; k < d; ++k) {
        pos += step;
        for (;;) {
            if (pos >= size) {
                LinePos = static_cast<std::int32_t>(size);
                return;
            }
            if (pos < 0) {
                LinePos = startLinePos;
                return;
            }
            if (Lines[static_cast<std::size_t>(pos)] == Separator) {
                break;
            }
            pos += step;
        }
    }
    LinePos = static_cast<std::int32_t>(pos);
    Position = n;
}

} // namespace eitool::textobject
