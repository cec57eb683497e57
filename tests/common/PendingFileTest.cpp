#include "common/PendingFile.h"

#include <gtest/gtest.h>

#include "common/FileSystem.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "support/TempDir.h"

namespace eitool {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(PendingFile, OnlyACommitReplacesTheTarget) {
    testing::TempDir tmp;
    const std::string target = tmp / "level.bmp";
    SaveTextLines(target, {"old"});
    {
        PendingFile abandoned(target);
        abandoned.WriteAll(Bytes("new\r\n"));
        EXPECT_TRUE(FileExists(abandoned.TemporaryPath()));
    }
    EXPECT_EQ(LoadTextLines(target), TextLines{"old"});
    EXPECT_FALSE(FileExists(target + ".eitool-new"));

    PendingFile committed(target);
    committed.WriteAll(Bytes("new\r\n"));
    committed.Commit();
    EXPECT_EQ(LoadTextLines(target), TextLines{"new"});
    EXPECT_FALSE(FileExists(committed.TemporaryPath()));
}

TEST(PendingFile, ErrorsNameTheTarget) {
    testing::TempDir tmp;
    const std::string target = tmp / "missing/dir/out.bmpx";
    PendingFile file(target);
    try {
        file.Create();
        FAIL();
    } catch (const FileCreateError& error) {
        EXPECT_EQ(error.Path(), target);
    }
}

} // namespace
} // namespace eitool
