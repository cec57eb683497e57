#include "common/Paths.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(HexIndex(0xABCDEF12u, 8), "ABCDEF12");
}

TEST(Paths, NamePartsOfNativeAndGamePaths) {
    EXPECT_EQ(FileNamePart("/game/data.tre"), "data.tre");
    EXPECT_EQ(FileNamePart("data.tre"), "data.tre");
    EXPECT_EQ(DirectoryPart("/game/data.tre"), "/game/");
    EXPECT_EQ(DirectoryPart("data.tre"), "");
    EXPECT_EQ(ExtensionPart("/a.b/logo.tga"), ".tga");
    EXPECT_EQ(ExtensionPart("/a.b/readme"), "");
    EXPECT_EQ(ExtensionPart("archive.tar.gz"), ".gz");
    // Names from game files lose their directory part whatever separator they use.
    EXPECT_EQ(GameNamePart("data\\ui\\logo.tga"), "logo.tga");
    EXPECT_EQ(GameNamePart("snd/bgm.wav"), "bgm.wav");
    EXPECT_EQ(GameNamePart("cd0:sys.bin"), "sys.bin");
    EXPECT_EQ(GameNamePart("..\\..\\evil"), "evil");
    EXPECT_EQ(GameNamePart("trailing\\"), "");
    EXPECT_EQ(UpperAscii("tGa\xe9"), "TGA\xe9");
}

TEST(Paths, WildcardsIgnoreLetterCase) {
    EXPECT_TRUE(MatchesPattern("DATA.TRE", "*.tre"));
    EXPECT_TRUE(MatchesPattern(".tre", "*.tre"));
    EXPECT_FALSE(MatchesPattern("data.tree", "*.tre"));
    EXPECT_FALSE(MatchesPattern("data.tr", "*.tre"));
    EXPECT_TRUE(MatchesPattern("a1.bin", "a?.bin"));
    EXPECT_FALSE(MatchesPattern("a.bin", "a?.bin"));
    EXPECT_TRUE(MatchesPattern("x.y.z", "*.*"));
    EXPECT_TRUE(MatchesPattern("abcabd", "*abd"));
    EXPECT_TRUE(MatchesMask("t.TGAX", "*.bmpx;*.tgax"));
    EXPECT_FALSE(MatchesMask("t.tga", "*.bmpx;*.tgax"));
    EXPECT_FALSE(MatchesMask("anything", ""));
}

TEST(Paths, WithinDirectoryIsDecidedLexically) {
    EXPECT_TRUE(IsWithinDirectory("/out/TGA/0001_a.tga", "/out"));
    EXPECT_TRUE(IsWithinDirectory("/out//0001_a", "/out"));
    EXPECT_TRUE(IsWithinDirectory("/out/x/../y", "/out"));
    EXPECT_FALSE(IsWithinDirectory("/out/../etc/passwd", "/out"));
    EXPECT_FALSE(IsWithinDirectory("/outside/a", "/out"));
    EXPECT_FALSE(IsWithinDirectory("/a", "/out"));
}

} // namespace
} // namespace eitool
