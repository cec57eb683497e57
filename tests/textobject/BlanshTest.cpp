#include "support/TempDir.h"
#include "textobject/TextObject.h"

#include <gtest/gtest.h>

namespace eitool::textobject {
namespace {

using eitool::testing::ReadText;
using eitool::testing::TempDir;
using eitool::testing::WriteText;

std::string Sep() {
    return std::string(Separator);
}
std::string End() {
    return std::string(EndMark);
}

// Loads lines saved with CR LF after every line, as a caller saves Lines.
void LoadLines(TTextObject& text, const TempDir& dir, const TextLines& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
    }
    WriteText(dir / "blank.txt", bytes);
    ASSERT_TRUE(text.LoadText(dir / "blank.txt"));
}

TEST(BlankStyleText, HeaderLinesCarryTypeNumberAndChecksum) {
    struct Case {
        TTextTypes type;
        bool crc;
        int number;
        std::string header;
    };
    const Case cases[] = {
        {ttIndexed, false, 5, "#H#E#A#D#E#R#0#5#"},
        {ttPlain, false, 0, "#H#E#A#D#E#R#1#"},
        {ttPlain, true, 0, "#H#E#A#D#E#R#129#861#"},
        {ttIndexed, true, 0, "#H#E#A#D#E#R#128#0#943#"},
        {ttStringDepeneded, true, 0, "#H#E#A#D#E#R#130#853#"},
    };
    for (const Case& c : cases) {
        TTextObject text;
        text.TextType = c.type;
        text.CRC = c.crc;
        text.Position = c.number;
        text.Write("t");
        EXPECT_EQ(text.Lines, (TextLines{Sep(), c.header, "t", End()}));
    }
}

TEST(BlankStyleText, WrittenTextsReadBackAndGoToLog) {
    TTextObject text;
    EXPECT_EQ(text.New(omRead), 0);
    text.Write("Hello");
    EXPECT_EQ(text.Lines, (TextLines{Sep(), "#H#E#A#D#E#R#0#0#", "Hello", End()}));
    EXPECT_EQ(text.LinePos, 4);
    EXPECT_EQ(text.Position, 1);
    EXPECT_EQ(text.TextCount, 1);
    text.SetPosition(0);
    EXPECT_EQ(text.LinePos, 0);
    EXPECT_EQ(text.Read(), "Hello");
    EXPECT_EQ(text.Read(), OutOfText);
    EXPECT_EQ(text.Log, TextLines{"Hello"});
    // An entry that holds line breaks is read as it is, whatever the flags say.
    text.New(omWrite);
    text.Write("a\r\nb");
    text.SetPosition(0);
    text.SingleLine = true;
    EXPECT_EQ(text.Read(), "a\r\nb");
}

TEST(BlankStyleText, SavedLinesReadBackByTheLineBreakFlags) {
    struct Case {
        bool linux;
        bool single;
        std::string read;
    };
    const Case cases[] = {
        {false, false, "one\r\ntwo\r\nthree"},
        {true, false, "one\ntwo\nthree"},
        {false, true, "onetwothree"},
        {true, true, "onetwothree"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TTextObject text;
        text.Write("one\r\ntwo\r\nthree");
        const std::string path = dir / "saved.txt";
        SaveTextLines(path, text.Lines);
        text.LinuxFormat = c.linux;
        text.SingleLine = c.single;
        ASSERT_TRUE(text.LoadText(path));
        EXPECT_EQ(text.Lines.size(), 6u);
        EXPECT_EQ(text.Read(), c.read);
        // Sizing counts every inner line break as 2 bytes, also under LinuxFormat.
        EXPECT_EQ(text.GetSize(), c.single ? 11 : 15);
    }
}

TEST(BlankStyleText, ABlockWithoutTextReadsEmpty) {
    TempDir dir;
    TTextObject text;
    LoadLines(text, dir, {Sep(), "#H#E#A#D#E#R#1#", End()});
    EXPECT_EQ(text.Read(), "");
    EXPECT_EQ(text.Position, 1);
}

TEST(BlankStyleText, RewriteReplacesTheTextAtTheCursorAndKeepsItsHeader) {
    TempDir dir;
    TTextObject text;
    LoadLines(text, dir,
              {Sep(), "#H#E#A#D#E#R#0#0#", "a", "b", End(), Sep(), "#H#E#A#D#E#R#0#1#", End()});
    text.TextType = ttPlain;
    text.CRC = true;
    text.Rewrite("new");
    EXPECT_EQ(text.LinePos, 4);
    text.Rewrite("second");
    text.Rewrite("appended");
    EXPECT_EQ(text.Lines,
              (TextLines{Sep(), "#H#E#A#D#E#R#0#0#", "new", End(), Sep(), "#H#E#A#D#E#R#0#1#",
                         "second", End(), Sep(), "#H#E#A#D#E#R#129#861#", "appended", End()}));
    EXPECT_EQ(text.Position, 3);
    EXPECT_EQ(text.TextCount, 1) << "only the appended block was written";
}

TEST(BlankStyleText, WriteOnALoadedBlockInsertsBeforeIt) {
    TempDir dir;
    TTextObject text;
    LoadLines(text, dir, {Sep(), "#H#E#A#D#E#R#1#", "old", End()});
    text.TextType = ttPlain;
    text.Write("first");
    EXPECT_EQ(text.Lines, (TextLines{Sep(), "#H#E#A#D#E#R#1#", "first", End(), Sep(),
                                     "#H#E#A#D#E#R#1#", "old", End()}));
    EXPECT_EQ(text.Read(), "old");
}

TEST(BlankStyleText, SizesFollowAsciiZAndTextAlign) {
    struct Case {
        TextLines texts;
        bool asciiZ;
        int align;
        bool linux;
        int size;
    };
    const Case cases[] = {
        {{"ab", "cde"}, true, 4, false, 8},  {{"a\r\nb"}, false, 1, false, 4},
        {{"a\r\nb"}, false, 1, true, 4},     {{"ab", "cde"}, false, 0, false, 5},
        {{"ab", "cde"}, true, -4, false, 7}, {{}, true, 4, false, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        TTextObject text;
        for (const std::string& t : c.texts) {
            text.Write(t);
        }
        SaveTextLines(dir / "s.txt", text.Lines);
        text.LoadText(dir / "s.txt");
        text.AsciiZ = c.asciiZ;
        text.TextAlign = c.align;
        text.LinuxFormat = c.linux;
        EXPECT_EQ(text.GetSize(), c.size) << c.align;
    }
}

TEST(BlankStyleText, PositioningCountsSeparatorsAndStaysOnBadNumbers) {
    TTextObject text;
    for (const char* t : {"t0", "t1", "t2"}) {
        text.Write(t);
    }
    text.SetPosition(1); // from behind the last block
    EXPECT_EQ(text.LinePos, 4);
    EXPECT_EQ(text.Position, 1);
    text.Read();
    text.SetPosition(2);
    EXPECT_EQ(text.LinePos, 8);
    text.SetPosition(2); // the current number: the start of the current block
    EXPECT_EQ(text.LinePos, 8);
    text.SetPosition(0);
    EXPECT_EQ(text.LinePos, 0);
    text.SetPosition(-1); // from the first block: no movement
    EXPECT_EQ(text.LinePos, 0);
    EXPECT_EQ(text.Position, 0);
    text.SetPosition(9); // off the end: behind the last block, Position as it was
    EXPECT_EQ(text.LinePos, 12);
    EXPECT_EQ(text.Position, 0);
    EXPECT_EQ(text.Read(), OutOfText);

    TTextObject empty;
    empty.SetPosition(3);
    EXPECT_EQ(empty.LinePos, 0);
    EXPECT_EQ(empty.Position, 0);
}

TEST(BlankStyleText, LinesOutOfTheLayoutGiveDefinedResults) {
    TempDir dir;
    TTextObject text;
    // A stray first line, and a second block without its end line.
    LoadLines(text, dir,
              {"junk", Sep(), "#H#E#A#D#E#R#1#", "a", End(), Sep(), "#H#E#A#D#E#R#1#", "b", "c"});
    text.SetPosition(1); // no separator at or before the cursor: no movement
    EXPECT_EQ(text.LinePos, 0);
    EXPECT_EQ(text.Read(), "#H#E#A#D#E#R#1#\r\na") << "reading skips two lines, whatever they are";
    EXPECT_EQ(text.Read(), "b\r\nc");
    EXPECT_EQ(text.LinePos, 9);
    EXPECT_EQ(text.Read(), OutOfText);
    EXPECT_EQ(text.GetSize(), 18) << "the block without its end line is not counted";
    text.SetPosition(1);
    text.Rewrite("new");
    EXPECT_EQ(text.Lines.back(), "new");
    EXPECT_EQ(text.LinePos, 8);
}

TEST(BlankStyleText, LoadTextNeedsAFileAndNeverTouchesTheIniFile) {
    TempDir dir;
    TTextObject text;
    text.Write("kept");
    EXPECT_FALSE(text.LoadText(dir / "missing.txt"));
    EXPECT_EQ(text.Lines.size(), 4u);

    text.TextStyle = IniStyle;
    text.FileName = dir / "texts.ini";
    WriteText(text.FileName, "[0x00000000]\r\nini\r\n");
    WriteText(dir / "blank.txt", Sep() + "\n#H#E#A#D#E#R#1#\r" + "x\r\n" + End());
    ASSERT_TRUE(text.LoadText(dir / "blank.txt"));
    EXPECT_EQ(text.Lines, (TextLines{Sep(), "#H#E#A#D#E#R#1#", "x", End()}));
    EXPECT_EQ(text.LinePos + text.Position + text.TextCount, 0);
    EXPECT_EQ(ReadText(text.FileName), "[0x00000000]\r\nini\r\n");
}

} // namespace
} // namespace eitool::textobject
