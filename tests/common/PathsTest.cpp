#include <gtest/gtest.h>

#include "common/Paths.h"

namespace eitool {
namespace {

TEST(Paths, IndexDigitsFollowsTheLimitRule) {
    EXPECT_EQ(IndexDigits(0), 2);
    EXPECT_EQ(IndexDigits(255), 2);
    EXPECT_EQ(IndexDigits(256), 4);
    EXPECT_EQ(IndexDigits(3000), 4);
    EXPECT_EQ(IndexDigits(65535), 4);
    EXPECT_EQ(IndexDigits(65536), 6);
    EXPECT_EQ(IndexDigits(16777215), 6);
    EXPECT_EQ(IndexDigits(16777216), 8);
    EXPECT_EQ(IndexDigits(0xFFFFFFFFu), 8);
    EXPECT_EQ(HexIndex(419, 4), "01A3");
    EXPECT_EQ(HexIndex(0, 4), "0000");
    EXPECT_EQ(HexIndex(2999, 4), "0BB7");
}

} // namespace
} // namespace eitool
