#include "common/TextLines.h"

#include "common/RunError.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace eitool {
namespace {

TEST(TextLines, AnyLineEndingEndsALine) {
    EXPECT_EQ(SplitTextLines(""), TextLines{});
    EXPECT_EQ(SplitTextLines("a"), TextLines{"a"});
    EXPECT_EQ(SplitTextLines("a\r\n"), TextLines{"a"});
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (TextLines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\n\r\nb"), (TextLines{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("\r\r"), (TextLines{"", ""}));
    EXPECT_EQ(SplitTextLines("\n\r"), (TextLines{"", ""})); // LF then a lone CR
    EXPECT_EQ(SplitTextLines(std::string_view("a\0b", 3)), TextLines{std::string("a\0b", 3)});
}

TEST(TextLines, SaveWritesCrLfAfterEveryLineAndReplacesTheFile) {
    testing::TempDir tmp;
    const std::string path = tmp / "out.log";
    SaveTextLines(path, {"first", "", "last"});
    SaveTextLines(path, {"one", "two"});
    std::ifstream in(path, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(text, "one\r\ntwo\r\n");
    EXPECT_EQ(LoadTextLines(path), (TextLines{"one", "two"}));
}

TEST(TextLines, FailuresNameTheFile) {
    testing::TempDir tmp;
    try {
        LoadTextLines(tmp / "missing.log");
        FAIL();
    } catch (const FileOpenError& error) {
        EXPECT_NE(std::string(error.what()).find("missing.log"), std::string::npos);
    }
    try {
        SaveTextLines(tmp / "no/such/dir/result.log", {"x"});
        FAIL();
    } catch (const FileCreateError& error) {
        EXPECT_NE(std::string(error.what()).find("result.log"), std::string::npos);
    }
}

} // namespace
} // namespace eitool
