#include "common/LineBuffer.h"

#include "common/RunError.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace eitool {
namespace {

// Every line, by index and by iteration, as SplitTextLines gives it, across several index
// strides and all three line endings.
TEST(LineBuffer, HoldsTheLinesThatSplitTextLinesGives) {
    std::string many;
    for (int i = 0; i < 70; ++i) {
        many += std::string(static_cast<std::size_t>(i % 5), 'x') + std::to_string(i) +
                (i % 3 == 0   ? "\r\n"
                 : i % 3 == 1 ? "\n"
                              : "\r");
    }
    for (const std::string& text :
         {std::string(), std::string("a"), std::string("a\r\n"), std::string("a\r\nb\nc\rd"),
          std::string("a\n\r\nb"), std::string("\r\r"), std::string("\n\r"), std::string("a\0b", 3),
          many, many + "tail"}) {
        const TextLines expected = SplitTextLines(text);
        const LineBuffer lines = LineBuffer::FromText(text);
        ASSERT_EQ(lines.size(), expected.size()) << text;
        EXPECT_EQ(lines.ToTextLines(), expected);
        for (std::size_t i = expected.size(); i-- > 0;) {
            EXPECT_EQ(lines[i], expected[i]);
            EXPECT_EQ(*lines.IteratorAt(i), expected[i]);
        }
    }
}

TEST(LineBuffer, LoadsFilesAndChangesInPlace) {
    testing::TempDir tmp;
    std::ofstream(tmp / "l.log", std::ios::binary) << "#Format: TRE\r\n\r\n#Source: x y \r\n";
    LineBuffer lines = LineBuffer::Load(tmp / "l.log");
    EXPECT_EQ(lines, (TextLines{"#Format: TRE", "", "#Source: x y "}));
    lines.DropFront(0, 9);
    lines.DropFront(2, 100);
    lines.push_back("NULL");
    lines.push_back("");
    EXPECT_EQ(lines, (TextLines{"TRE", "", "", "NULL", ""}));
    EXPECT_EQ(LineBuffer({"a", "b\nc"}), (TextLines{"a", "b", "c"}));
    lines.clear();
    EXPECT_TRUE(lines.empty());
    EXPECT_THROW(LineBuffer::Load(tmp / "missing.log"), FileOpenError);
}

} // namespace
} // namespace eitool
