#include "support/Platform.h"
#include "support/TempDir.h"
#include "textobject/TextObject.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace eitool::textobject {
namespace {

using eitool::testing::ReadText;
using eitool::testing::TempDir;
using eitool::testing::WriteText;

// Two texts, 'Hello' and an empty one, as the INI style writes them: 37 bytes.
constexpr std::string_view kHelloFile = "[0x00000000]\r\nHello\r\n[0x00000001]\r\n\r\n";

struct IniFile {
    TempDir dir;
    TTextObject text;

    IniFile() {
        text.TextStyle = IniStyle;
        text.FileName = dir / "texts.ini";
    }
    // Writes bytes as the file and loads it.
    int Load(std::string_view bytes) {
        WriteText(text.FileName, std::string(bytes));
        return text.New(omRead);
    }
    std::vector<std::string> ReadAll() {
        std::vector<std::string> texts;
        for (std::string t = text.Read(); t != OutOfText; t = text.Read()) {
            texts.push_back(t);
        }
        return texts;
    }
};

TEST(IniStyleText, WritingGivesTheBlockFileAndReadingGivesTheTextsBack) {
    IniFile ini;
    EXPECT_EQ(ini.text.New(omWrite), 0);
    ini.text.Write("Hello");
    ini.text.Rewrite(""); // appends, as Write does
    EXPECT_EQ(ini.text.Read(), NoText) << "write mode reads nothing";
    EXPECT_EQ(ini.text.GetSize(), -1);
    EXPECT_EQ(ReadText(ini.text.FileName), kHelloFile);
    ASSERT_EQ(kHelloFile.size(), 37u);

    EXPECT_EQ(ini.text.New(omRead), 0);
    ini.text.Write("ignored in read mode");
    EXPECT_EQ(ini.text.Lines, (TextLines{"0x00000000", "0x00000001", "0x00000002"}));
    EXPECT_EQ(ini.ReadAll(), (std::vector<std::string>{"Hello", ""}));
    EXPECT_EQ(ReadText(ini.text.FileName), kHelloFile);
}

TEST(IniStyleText, LineBreaksAreStoredAsCrLfAndReadByTheFlags) {
    struct Case {
        std::string written;
        bool linux;
        bool single;
        std::string read;
    };
    const Case cases[] = {
        {"A\nB", false, false, "A\r\nB"}, {"A\nB", true, false, "A\nB"},
        {"A\nB", false, true, "AB"},      {"A\nB", true, true, "AB"},
        {"A\n", true, false, "A\n"},      {"A\r\nB", false, false, "A\r\r\nB"},
        {"A\rB", true, false, "A\rB"},    {"A\n\nB", true, false, "A\n\nB"},
    };
    for (const Case& c : cases) {
        IniFile ini;
        ini.text.New(omWrite);
        ini.text.Write(c.written);
        ini.text.LinuxFormat = c.linux;
        ini.text.SingleLine = c.single;
        EXPECT_EQ(ini.text.New(omRead), 0);
        EXPECT_EQ(ini.text.Read(), c.read) << c.written << " " << c.linux << c.single;
    }
    IniFile ini;
    ini.text.New(omWrite);
    ini.text.Write("A\nB");
    EXPECT_EQ(ReadText(ini.text.FileName), "[0x00000000]\r\nA\r\nB\r\n");
}

TEST(IniStyleText, AGapInTheBlockNumbersMakesTheFileUnreadable) {
    struct Case {
        std::string file;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"[0x00000000]\r\na\r\n[0x00000001]\r\nb\r\n[0x00000003]\r\nd\r\n",
         {"Block 0x00000002 not found!"}},
        {"[0x00000005]\r\nf\r\n", {"Block 0x00000000 not found!"}},
        {"[0x00000001]\r\n[0x00000003]\r\n",
         {"Block 0x00000000 not found!", "Block 0x00000002 not found!"}},
    };
    for (const Case& c : cases) {
        IniFile ini;
        EXPECT_EQ(ini.Load(c.file), 1073741824);
        EXPECT_EQ(ini.text.Log, c.log);
        EXPECT_TRUE(ini.text.Lines.empty());
        EXPECT_GT(ini.text.TextCount, 0);
        EXPECT_EQ(ini.text.Read(), OutOfText);
        ini.text.AsciiZ = true;
        EXPECT_EQ(ini.text.GetSize(), 0);
        EXPECT_EQ(ini.text.GetCurrentLength(), -1);
    }
}

TEST(IniStyleText, NoErrorsReadsOverAGapAndTheEndKeyCountsTheHeaders) {
    IniFile ini;
    ini.text.NoErrors = true;
    EXPECT_EQ(ini.Load("[0x00000000]\r\na\r\n[0x00000001]\r\nb\r\n[0x00000003]\r\nd\r\n"), 0);
    EXPECT_TRUE(ini.text.Log.empty());
    EXPECT_EQ(ini.text.Lines.back(), "0x00000003");
    EXPECT_EQ(ini.ReadAll(), (std::vector<std::string>{"a", "b", ""}));
}

TEST(IniStyleText, AMissingFileReadsNothing) {
    IniFile ini;
    EXPECT_EQ(ini.text.New(omRead), -2147483648);
    EXPECT_EQ(ini.text.Read(), OutOfText);
    EXPECT_EQ(ini.text.GetSize(), 0);
    EXPECT_EQ(ini.text.GetCurrentLength(), -1);
}

TEST(IniStyleText, HeadersThatAreNotInTheExactFormReadAsNoText) {
    IniFile ini;
    // "[0x2]" is counted, but its key "[0x00000002]" is not in the file, so the text before it
    // runs on to the end; "[0xZ" is no header at all.
    EXPECT_EQ(ini.Load("[0x00000000]\r\nsee [0xZ\r\n[0x00000001]\r\nx\r\n[0x2]\r\nyyyyyy\r\n"
                       "[0x00000003]\r\nz\r\n"),
              0);
    EXPECT_EQ(ini.text.TextCount, 4);
    EXPECT_EQ(ini.text.GetCurrentLength(), 8);
    EXPECT_EQ(ini.text.Read(), "see [0xZ");
    EXPECT_EQ(ini.text.Read(), "x\r\n[0x2]\r\nyyyyyy\r\n[0x00000003]\r\nz");
    EXPECT_EQ(ini.text.GetCurrentLength(), -1);
    EXPECT_EQ(ini.text.Position, 2) << "GetCurrentLength does not move";
    EXPECT_EQ(ini.text.Read(), NoText);
    EXPECT_EQ(ini.text.Position, 3) << "a NoText read still moves on";
    EXPECT_EQ(ini.text.Read(), "z");
    ini.text.AsciiZ = true;
    ini.text.TextAlign = 4;
    // 8 + 1 -> 12, 33 + 1 -> 36, the missing one 0 + 1 -> 4, 1 + 1 -> 4.
    EXPECT_EQ(ini.text.GetSize(), 56);
}

TEST(IniStyleText, ATextHoldingABlockHeaderStartMakesAnotherHeader) {
    IniFile ini;
    ini.text.NoErrors = true;
    ini.text.New(omWrite);
    ini.text.Write("cost [0x10]");
    EXPECT_EQ(ini.text.New(omRead), 0);
    EXPECT_EQ(ini.text.TextCount, 2);
}

TEST(IniStyleText, PositioningIgnoresNumbersOutsideTheTexts) {
    IniFile ini;
    ini.Load(kHelloFile);
    for (const int n : {2, 7, -1}) {
        ini.text.SetPosition(n);
        EXPECT_EQ(ini.text.Position, 0) << n;
    }
    ini.text.SetPosition(1);
    EXPECT_EQ(ini.text.Read(), "");
    EXPECT_EQ(ini.text.Read(), OutOfText);
    ini.text.SetPosition(0);
    EXPECT_EQ(ini.text.Read(), "Hello");
}

TEST(IniStyleText, AWriteThatCannotAppendIsReportedInStatusAndLog) {
    IniFile ini;
    std::filesystem::create_directory(ini.text.FileName);
    EXPECT_EQ(ini.text.New(omWrite), 0);
    ini.text.Write("lost");
    EXPECT_EQ(ini.text.Status, kStatusWriteFailed);
    ASSERT_EQ(ini.text.Log.size(), 1u);
    EXPECT_EQ(ini.text.Log[0].rfind("Block 0x00000000 not written: ", 0), 0u) << ini.text.Log[0];
}

TEST(IniStyleText, AppendingNeverGoesThroughALink) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    IniFile ini;
    const std::string target = ini.dir / "elsewhere.ini";
    WriteText(target, "kept");
    std::filesystem::create_symlink(target, ini.text.FileName);
    ini.text.New(omWrite);
    ini.text.Write("x");
    EXPECT_EQ(ini.text.Status, kStatusWriteFailed);
    EXPECT_EQ(ReadText(target), "kept");
}

} // namespace
} // namespace eitool::textobject
