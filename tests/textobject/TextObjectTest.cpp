#include "textobject/TextObject.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace eitool::textobject {
namespace {

using eitool::testing::TempDir;
using eitool::testing::WriteText;

TEST(TextObjectCore, ANewObjectIsInBlankStyleWithNothingToRead) {
    for (const TObjectStyle style : {BlanshStyle, IniStyle}) {
        TTextObject text;
        EXPECT_EQ(text.TextStyle, BlanshStyle);
        EXPECT_EQ(text.TextAlign, 1);
        EXPECT_FALSE(text.NoErrors || text.AsciiZ || text.CRC || text.SingleLine ||
                     text.ClearBounds || text.LinuxFormat);
        EXPECT_EQ(text.Position + text.LinePos + text.TextCount, 0);
        EXPECT_TRUE(text.Contents.empty());
        text.TextStyle = style;
        EXPECT_EQ(text.Read(), OutOfText);
        EXPECT_EQ(text.GetSize(), 0);
    }
}

TEST(TextObjectCore, SizeRule) {
    struct Case {
        std::string text;
        bool asciiZ;
        int align;
        int size;
    };
    const Case cases[] = {
        {"abc", true, 4, 4},     {"abc", false, 1, 3}, {"abcd", true, 4, 8}, {"", false, 4, 0},
        {"", false, 0, 0},       {"abc", true, 0, 4},  {"abc", true, 1, 4},  {"abc", false, 0, 3},
        {"abcde", false, -4, 5}, // a negative TextAlign does not round
    };
    for (const Case& c : cases) {
        TTextObject text;
        text.AsciiZ = c.asciiZ;
        text.TextAlign = c.align;
        EXPECT_EQ(text.GetStringLength(c.text), c.size) << c.text << " " << c.align;
    }
}

TEST(TextObjectCore, EraseSpaceTrimsBlanksOnlyWithClearBounds) {
    TTextObject text;
    EXPECT_EQ(text.EraseSpace(" \t a b \t"), " \t a b \t");
    text.ClearBounds = true;
    EXPECT_EQ(text.EraseSpace(" \t a b \t"), "a b");
    EXPECT_EQ(text.EraseSpace(" "), "");
    EXPECT_EQ(text.EraseSpace("x"), "x");
}

TEST(TextObjectCore, ClearStringDropsEverySpaceAndKeepsTabs) {
    TTextObject text;
    EXPECT_EQ(text.ClearString(" a b\tc "), "ab\tc");
}

TEST(TextObjectCore, EveryCallFollowsTheStyleItFinds) {
    TempDir dir;
    TTextObject text;
    text.FileName = dir / "t.ini";
    WriteText(text.FileName, "[0x00000000]\r\nini\r\n");
    text.TextStyle = IniStyle;
    EXPECT_EQ(text.New(omRead), 0);
    EXPECT_EQ(text.Lines, (TextLines{"0x00000000", "0x00000001"}));
    // The blank style takes the INI keys as lines: two entries are its separator and header.
    text.TextStyle = BlanshStyle;
    EXPECT_EQ(text.Read(), OutOfText);
    text.TextStyle = IniStyle;
    EXPECT_EQ(text.Read(), "ini");
    text.TextStyle = BlanshStyle;
    EXPECT_EQ(text.New(omRead), 0);
    EXPECT_TRUE(text.Lines.empty());
}

TEST(TextObjectStorage, PropertiesAreStoredAgainstTheDefaultZero) {
    TTextObject text;
    EXPECT_EQ(WriteProperties(text), "TextAlign = 1\n");
    text.TextAlign = 0;
    EXPECT_EQ(WriteProperties(text), "");
    TTextObject loaded(nullptr, WriteProperties(text));
    EXPECT_EQ(loaded.TextAlign, 1) << "a stored 0 cannot be carried";
}

TEST(TextObjectStorage, TheMainWindowsInstanceHasItsStoredValues) {
    TTextObject text(nullptr, kMainFormTextObject);
    EXPECT_EQ(text.Name, "TextObject");
    EXPECT_EQ(text.TextStyle, IniStyle);
    EXPECT_TRUE(text.AsciiZ && text.ClearBounds && text.LinuxFormat);
    EXPECT_FALSE(text.NoErrors || text.CRC || text.SingleLine);
    EXPECT_EQ(text.TextType, ttIndexed);
    EXPECT_EQ(text.TextAlign, 1);
    EXPECT_EQ(WriteProperties(text), kMainFormTextObject);
}

} // namespace
} // namespace eitool::textobject
