// The text object on hostile text files. The first byte holds the flags (bit 0 AsciiZ, 1
// SingleLine, 2 LinuxFormat, 3 NoErrors, 4 CRC, 5 and 6 the text type), the second TextAlign
// as a signed byte; the rest is the file. It is read in the INI style (preload, every read,
// sizes, positioning) and in the blank style (load, every read, sizes, positioning, rewriting).
// Texts that the INI style writes and texts of the blank style saved and loaded again must read
// back the same.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "textobject/TextObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using eitool::textobject::TTextObject;
namespace to = eitool::textobject;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void SetFlags(TTextObject& text, std::uint8_t flags, std::uint8_t align) {
    text.AsciiZ = (flags & 1) != 0;
    text.SingleLine = (flags & 2) != 0;
    text.LinuxFormat = (flags & 4) != 0;
    text.NoErrors = (flags & 8) != 0;
    text.CRC = (flags & 16) != 0;
    text.TextType = static_cast<to::TTextTypes>((flags >> 5) % 3);
    text.TextAlign = static_cast<std::int8_t>(align);
}

bool CursorInside(const TTextObject& text) {
    return text.LinePos >= 0 && static_cast<std::size_t>(text.LinePos) <= text.Lines.size();
}

// Whether every CR of the text stands before an LF and every LF after a CR.
bool OnlyCrLfBreaks(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool crlf = i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n';
        if (crlf) {
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            return false;
        }
    }
    return true;
}

void FuzzIni(const std::string& path, std::uint8_t flags, std::uint8_t align) {
    TTextObject text;
    SetFlags(text, flags, align);
    text.TextStyle = to::IniStyle;
    text.FileName = path;
    const int status = text.New(to::omRead);
    Check(status == 0 || status == static_cast<int>(to::kStatusBlockGap));
    Check(text.GetSize() >= 0);
    std::vector<std::string> texts;
    // Counted, not ended by OutOfText: a stored text may be that marker.
    for (int k = 0; status == 0 && k < text.TextCount; ++k) {
        const int length = text.GetCurrentLength();
        const std::string read = text.Read();
        Check(read == to::NoText || length == text.GetStringLength(read));
        if (text.SingleLine) {
            Check(read.find('\n') == std::string::npos);
        }
        texts.push_back(read);
    }
    Check(text.Read() == to::OutOfText);
    text.SetPosition(text.TextCount / 2);
    text.SetPosition(-1);
    text.Read();

    // Texts read with LF breaks, written again and read back: the same, unless a text holds
    // what the style cannot carry (a header start, a CR).
    if (status != 0 || !text.LinuxFormat || text.SingleLine) {
        return;
    }
    TTextObject copy;
    copy.TextStyle = to::IniStyle;
    copy.LinuxFormat = true;
    copy.FileName = path + ".copy";
    copy.New(to::omWrite);
    std::vector<std::string> carried;
    for (const std::string& t : texts) {
        if (t != to::NoText && t.find("[0x") == std::string::npos &&
            t.find('\r') == std::string::npos && t.find('[') == std::string::npos) {
            copy.Write(t);
            carried.push_back(t);
        }
    }
    Check(copy.Status == 0);
    Check(copy.New(to::omRead) == 0);
    for (const std::string& t : carried) {
        Check(copy.Read() == t);
    }
    Check(copy.Read() == to::OutOfText);
}

void FuzzBlank(const std::string& path, std::uint8_t flags, std::uint8_t align) {
    TTextObject text;
    SetFlags(text, flags, align);
    Check(text.LoadText(path));
    Check(text.GetSize() >= 0);
    std::vector<std::string> texts;
    while (text.Lines.size() > static_cast<std::size_t>(text.LinePos) + 2) {
        const std::size_t before = static_cast<std::size_t>(text.LinePos);
        texts.push_back(text.Read());
        Check(CursorInside(text) && static_cast<std::size_t>(text.LinePos) > before);
    }
    Check(text.Read() == to::OutOfText);
    for (const int n : {0, static_cast<int>(texts.size()) / 2, -3, 1 << 30}) {
        text.SetPosition(n);
        Check(CursorInside(text));
    }
    text.SetPosition(0);
    text.Rewrite("rewritten");
    text.Write("inserted");
    Check(CursorInside(text) && text.GetSize() >= 0);

    // Texts with CR LF breaks, written into a new list, saved and loaded: the same texts.
    if (text.LinuxFormat || text.SingleLine) {
        return;
    }
    TTextObject copy;
    copy.TextType = text.TextType;
    copy.CRC = text.CRC;
    std::vector<std::string> carried;
    for (const std::string& t : texts) {
        if (OnlyCrLfBreaks(t) && t.find(to::EndMark) == std::string::npos) {
            copy.Write(t);
            carried.push_back(t);
        }
    }
    // Saved as SaveTextLines saves, without its sync to disk.
    std::string saved;
    for (const std::string& line : copy.Lines) {
        saved += line + "\r\n";
    }
    eitool::WriteWholeFile(path + ".copy", std::vector<std::uint8_t>(saved.begin(), saved.end()));
    Check(copy.LoadText(path + ".copy"));
    for (const std::string& t : carried) {
        Check(copy.Read() == t);
    }
    Check(copy.Read() == to::OutOfText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string path = work.File("texts");
    eitool::WriteWholeFile(path, std::vector<std::uint8_t>(data + 2, data + size));
    try {
        FuzzIni(path, data[0], data[1]);
        FuzzBlank(path, data[0], data[1]);
    } catch (const eitool::RunError&) {
        std::abort(); // a regular file that exists always loads
    }
    return 0;
}
