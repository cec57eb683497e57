// End-to-end tests of `eitool text`: the real binary on text files in a temporary directory.
#include "cli/RunEitool.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace eitool::testing {
namespace {

constexpr std::string_view kIni = "[0x00000000]\r\nHello\r\n[0x00000001]\r\nA\\B\r\nline 2\r\n"
                                  "[0x00000002]\r\n\r\n";
constexpr std::string_view kSep = "_______________________________";

TEST(CliText, SizeAndListShowTheTextsOfBothStyles) {
    TempDir dir;
    WriteText(dir / "t.ini", std::string(kIni));
    WriteText(dir / "t.txt", std::string(kSep) + "\r\n#H#E#A#D#E#R#1#\r\nab\r\ncd\r\n#E#N#D#\r\n");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"size", "t.ini", "--style", "ini"}, "total 16\n"},
        {{"size", "t.ini", "--style", "ini", "--asciiz", "--align", "4", "--linux", "--each"},
         "0\t8\n1\t12\n2\t4\ntotal 24\n"},
        {{"size", "t.txt", "--style", "blank", "--linux", "--each"}, "0\t6\ntotal 6\n"},
        {{"size", "t.txt", "--style", "blank", "--single-line"}, "total 4\n"},
        {{"list", "t.ini", "--style", "ini"}, "0\tHello\n1\tA\\\\B\\nline 2\n2\t\n"},
        {{"list", "t.txt", "--style", "blank", "--linux"}, "0\tab\\ncd\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"text"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult result = RunEitool(args, InDirectory(dir.Path()));
        EXPECT_EQ(result.exitCode, 0) << c.args[1] << result.err;
        EXPECT_EQ(result.out, c.out) << c.args[1];
    }
}

TEST(CliText, ConvertGoesToTheBlankStyleAndBackByteForByte) {
    TempDir dir;
    WriteText(dir / "t.ini", std::string(kIni));
    const ProcessResult toBlank = RunEitool({"text", "convert", "t.ini", "t.txt", "--from", "ini",
                                             "--to", "blank", "--type", "plain", "--crc"},
                                            InDirectory(dir.Path()));
    EXPECT_EQ(toBlank.exitCode, 0) << toBlank.err;
    EXPECT_EQ(toBlank.out, "converted 3 texts\n");
    const std::string sep(kSep);
    const std::string header = "#H#E#A#D#E#R#129#861#\r\n";
    EXPECT_EQ(ReadText(dir / "t.txt"), sep + "\r\n" + header + "Hello\r\n#E#N#D#\r\n" + sep +
                                           "\r\n" + header + "A\\B\r\nline 2\r\n#E#N#D#\r\n" + sep +
                                           "\r\n" + header + "\r\n#E#N#D#\r\n");
    const ProcessResult back =
        RunEitool({"text", "convert", "t.txt", "back.ini", "--from", "blank", "--to", "ini"},
                  InDirectory(dir.Path()));
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(ReadText(dir / "back.ini"), kIni);
}

TEST(CliText, ComplaintsMisuseAndUnreadableFilesHaveTheirExitStatus) {
    TempDir dir;
    WriteText(dir / "gap.ini", "[0x00000000]\r\na\r\n[0x00000002]\r\nc\r\n");
    WriteText(dir / "odd.ini", "[0x00000000]\r\na\r\n[0x1]\r\nb\r\n");
    WriteText(dir / "open.txt", std::string(kSep) + "\r\n#H#E#A#D#E#R#1#\r\nno end\r\n");
    std::filesystem::create_directory(dir / "dir.ini");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err; // a part of standard error
    };
    const Case cases[] = {
        {{"list", "gap.ini", "--style", "ini"}, 1, "", "Block 0x00000001 not found!"},
        {{"size", "gap.ini", "--style", "ini"}, 1, "total 0\n", "Status 0x40000000"},
        // With NoErrors the end key counts the headers: here it is the last block's own key.
        {{"list", "gap.ini", "--style", "ini", "--no-errors"}, 0, "0\ta\n1\t\n", ""},
        {{"list", "odd.ini", "--style", "ini"},
         1,
         "0\ta\\n[0x1]\\nb\n1\t#NO_TEXT#\n",
         "no header \"[0x00000001]\""},
        {{"size", "open.txt", "--style", "blank"}, 1, "total 0\n", "no end line"},
        {{"list", "open.txt", "--style", "blank"}, 1, "0\tno end\n", "no end line"},
        {{"convert", "gap.ini", "out.txt", "--from", "ini", "--to", "blank"}, 1, "", "not written"},
        {{"list", "missing.ini", "--style", "ini"}, 3, "", "missing.ini: cannot open file"},
        {{"list", "missing.txt", "--style", "blank"}, 3, "", "missing.txt: cannot open file"},
        {{"list", "dir.ini", "--style", "ini"}, 3, "", "dir.ini: cannot open file"},
        {{"convert", "gap.ini", "dir.ini", "--from", "ini", "--to", "ini", "--no-errors"},
         3,
         "",
         "Block 0x00000000 not written"},
        {{"list", "gap.ini", "--style", "xml"}, 2, "", "--style"},
        {{"list", "gap.ini"}, 2, "", "--style is required"},
        {{"convert", "gap.ini", "o.ini", "--from", "ini", "--to", "ini", "--crc"},
         2,
         "",
         "--type and --crc go with --to blank"},
        {{}, 2, "", "A subcommand is required"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"text"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult result = RunEitool(args, InDirectory(dir.Path()));
        const std::string name = c.args.empty() ? "text" : c.args[0] + " " + c.args[1];
        EXPECT_EQ(result.exitCode, c.status) << name << "\n" << result.err;
        EXPECT_EQ(result.out, c.out) << name;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << name << "\n" << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
}

} // namespace
} // namespace eitool::testing
