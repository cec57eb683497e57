#pragma once

#include "common/Component.h"
#include "common/TextLines.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace eitool::textobject {

enum TTextTypes : std::uint8_t { ttIndexed = 0, ttPlain = 1, ttStringDepeneded = 2 };
enum TObjectStyle : std::uint8_t { BlanshStyle = 0, IniStyle = 1 };
// omRead: open an existing file and read its texts; omWrite: create the file (or empty it) and
// append texts. Only the INI style looks at the mode.
enum TOpenModes : std::uint8_t { omRead = 0, omWrite = 1 };

// The texts that Read returns instead of a text, and the fixed lines of the blank style.
inline constexpr std::string_view OutOfText = "#OUT_OF_TEXT#";
inline constexpr std::string_view NoText = "#NO_TEXT#";
// NOTE: 31 underscores, one short of a round 32; files in the blank style have it so.
inline constexpr std::string_view Separator = "_______________________________";
inline constexpr std::string_view HeaderMark = "#H#E#A#D#E#R#";
inline constexpr std::string_view EndMark = "#E#N#D#";

// Bits of Status (INI style).
inline constexpr std::uint32_t kStatusFileNotFound = 0x80000000u;
inline constexpr std::uint32_t kStatusBlockGap = 0x40000000u;
// A text that WriteINI could not append; Log names its block and the reason.
inline constexpr std::uint32_t kStatusWriteFailed = 0x20000000u;

// A numbered sequence of texts, such as the strings of a translation, read from and written to
// text files in one of two styles: the INI style, every text under a bracketed hexadecimal
// block number, and the blank style, every text framed by a separator line, a header line and
// an end line. Every dispatched operation follows TextStyle as it finds it at the call.
//
// The component raises nothing for content; it reports through OutOfText and NoText, -1 and the
// bits of Status. A file that exists but cannot be opened or read throws a FileError.
class TTextObject : public TComponent {
public:
    explicit TTextObject(TComponent* owner = nullptr);
    // Made as a form stores it: constructed, then the form's properties loaded onto it.
    TTextObject(TComponent* owner, std::string_view form);

    void PublishProperties(PropertyFiler& filer) override;

    // Published properties, read and written directly. Their storage default is 0 (false, the
    // first enumerator), so a TextAlign of 0 cannot be stored.
    TTextTypes TextType = ttIndexed;
    TObjectStyle TextStyle = BlanshStyle;
    bool NoErrors = false;
    bool AsciiZ = false;
    bool CRC = false;
    bool SingleLine = false;
    bool ClearBounds = false;
    bool LinuxFormat = false;
    std::int32_t TextAlign = 1;

    // Run-time state. INI style: FileName is the text file; Lines the block keys found by the
    // preload and the end key; Log one message per gap; Contents the loaded file and a zero
    // byte (empty when none is held). Blank style: Lines the file's lines; Log a copy of every
    // text read; LinePos the index of the current block's separator line.
    std::string FileName;
    TextLines Lines;
    TextLines Log;
    std::int32_t Position = 0;
    std::int32_t LinePos = 0;
    std::int32_t TextCount = 0;
    std::uint32_t Status = 0;
    TOpenModes OpenMode = omRead;
    std::string Contents;
    std::int32_t FileSize = 0;

    // Dispatched by TextStyle. New clears Log and starts over in the style (the second argument
    // has no meaning); it returns Status in the INI style, 0 in the blank style.
    int New(TOpenModes mode, int unused = 0);
    std::string Read();
    void Write(const std::string& text);
    // Blank style: replaces the text of the block at the cursor. INI style: appends as Write.
    void Rewrite(const std::string& text);
    int GetSize();
    void SetPosition(int n);

    int GetStringLength(std::string_view s) const;
    std::string EraseSpace(std::string s) const;
    std::string ClearString(std::string s) const;

    // INI style.
    int NewINI(TOpenModes mode, int unused);
    void PreloadINI();
    std::string ReadINI();
    void WriteINI(const std::string& text);
    int GetIniSize();
    int GetCurrentLength();
    void SetIniPos(int n);
    std::string GetCharString(std::string_view key, std::string_view endKey) const;
    std::string MakeString(std::string_view text) const;

    // Blank style.
    void NewBlansh();
    bool LoadText(const std::string& fileName);
    std::string ReadBlansh();
    void WriteBlansh(const std::string& text);
    void RewriteBlansh(const std::string& text);
    int GetBlanshSize();
    void SetBlanshPos(int n);

private:
    // The size rule applied to a text of length bytes.
    std::int64_t SizeOf(std::int64_t length) const;
    // The text of INI block k (the key at k up to the key at k + 1); NoText when its header is
    // missing or when Lines holds no such keys.
    std::string IniText(std::int64_t k) const;
    // LinePos brought into 0 .. the number of lines, for a cursor set from outside.
    std::size_t Cursor();
};

// The stored values of the main window's text object: INI style, AsciiZ, ClearBounds,
// LinuxFormat and TextAlign 1. The window holds it as
// `textobject::TTextObject TextObject{nullptr, textobject::kMainFormTextObject};`.
inline constexpr std::string_view kMainFormTextObject = "Name = 'TextObject'\n"
                                                        "TextStyle = IniStyle\n"
                                                        "AsciiZ = True\n"
                                                        "ClearBounds = True\n"
                                                        "LinuxFormat = True\n"
                                                        "TextAlign = 1\n";

// Sizes above this count as this (a total of many aligned texts can pass 32 bits).
inline constexpr int kMaxSize = 0x7FFFFFFF;

} // namespace eitool::textobject
