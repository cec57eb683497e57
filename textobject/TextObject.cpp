#include "textobject/TextObject.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace eitool::textobject {

namespace {

constexpr std::array<std::string_view, 3> kTextTypeNames = {"ttIndexed", "ttPlain",
                                                            "ttStringDepeneded"};
constexpr std::array<std::string_view, 2> kStyleNames = {"BlanshStyle", "IniStyle"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

TTextObject::TTextObject(TComponent* owner) : TComponent(owner) {}

TTextObject::TTextObject(TComponent* owner, std::string_view form) : TComponent(owner) {
    [[maybe_unused]] const std::vector<std::string> problems = ReadProperties(*this, form);
    assert(problems.empty());
}

void TTextObject::PublishProperties(PropertyFiler& filer) {
    TComponent::PublishProperties(filer);
    filer.Enumeration("TextType", TextType, kTextTypeNames);
    filer.Enumeration("TextStyle", TextStyle, kStyleNames);
    filer.Bool("NoErrors", NoErrors);
    filer.Bool("AsciiZ", AsciiZ);
    filer.Bool("CRC", CRC);
    filer.Bool("SingleLine", SingleLine);
    filer.Bool("ClearBounds", ClearBounds);
    filer.Bool("LinuxFormat", LinuxFormat);
    // NOTE: stored against the default 0, not the construction value 1; a TextAlign of 0 is
    // therefore not stored and loads as 1.
    filer.Int("TextAlign", TextAlign);
}

int TTextObject::New(TOpenModes mode, int unused) {
    Log.clear();
    if (TextStyle == IniStyle) {
        return NewINI(mode, unused);
    }
    NewBlansh();
    return 0;
}

std::string TTextObject::Read() {
    return TextStyle == IniStyle ? ReadINI() : ReadBlansh();
}

void TTextObject::Write(const std::string& text) {
    if (TextStyle == IniStyle) {
        WriteINI(text);
    } else {
        WriteBlansh(text);
    }
}

void TTextObject::Rewrite(const std::string& text) {
    // The INI style has no rewriting in place: the text goes on as a new block.
    if (TextStyle == IniStyle) {
        WriteINI(text);
    } else {
        RewriteBlansh(text);
    }
}

int TTextObject::GetSize() {
    return TextStyle == IniStyle ? GetIniSize() : GetBlanshSize();
}

void TTextObject::SetPosition(int n) {
    if (TextStyle == IniStyle) {
        SetIniPos(n);
    } else {
        SetBlanshPos(n);
    }
}

// The size rule: the length, one more for a terminating zero with AsciiZ, rounded up to a
// multiple of TextAlign when that is above 1. A TextAlign of 0, 1 or below 0 leaves it.
std::int64_t TTextObject::SizeOf(std::int64_t length) const {
    std::int64_t n = length + (AsciiZ ? 1 : 0);
    if (TextAlign > 1) {
        const std::int64_t align = TextAlign;
        n = (n + align - 1) / align * align;
    }
    return n;
}

int TTextObject::GetStringLength(std::string_view s) const {
    return static_cast<int>(
        std::min<std::int64_t>(SizeOf(static_cast<std::int64_t>(s.size())), kMaxSize));
}

std::string TTextObject::EraseSpace(std::string s) const {
    if (!ClearBounds) {
        return s;
    }
    const auto first = std::ranges::find_if_not(s, IsBlank);
    s.erase(s.begin(), first);
    while (!s.empty() && IsBlank(s.back())) {
        s.pop_back();
    }
    return s;
}

std::string TTextObject::ClearString(std::string s) const {
    std::erase(s, ' ');
    return s;
}

std::size_t TTextObject::Cursor() {
    LinePos = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(LinePos, 0, static_cast<std::int64_t>(Lines.size())));
    return static_cast<std::size_t>(LinePos);
}

} // namespace eitool::textobject
