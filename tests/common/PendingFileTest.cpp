#include "common/PendingFile.h"

#include "common/FileSystem.h"
#include "common/RunError.h"
#include "common/TextLines.h"
#include "support/Platform.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace eitool {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Sees the files as they are when the hook is called, and fails there when asked to.
class LookingHook : public WriteHook {
public:
    explicit LookingHook(bool fail = false) : m_fail(fail) {}
    void BeforeWrite(const std::string& path) override {
        paths.push_back(path);
        temporaryComplete = LoadTextLines(PendingFile::TemporaryPathOf(path)) == TextLines{"new"};
        targetOld = LoadTextLines(path) == TextLines{"old"};
        if (m_fail) {
            throw FileWriteError(path, "injected failure");
        }
    }
    std::vector<std::string> paths;
    bool temporaryComplete = false;
    bool targetOld = false;

private:
    bool m_fail;
};

TEST(PendingFile, CommitCallsTheHookWithTheCompleteFileThenReplacesTheTarget) {
    testing::TempDir tmp;
    const std::string target = tmp / "level.bmp";
    SaveTextLines(target, {"old"});
    LookingHook hook;
    PendingFile file(target, &hook);
    file.WriteAll(Bytes("new\r\n"));
    file.Commit();
    EXPECT_EQ(hook.paths, std::vector<std::string>{target});
    EXPECT_TRUE(hook.temporaryComplete);
    EXPECT_TRUE(hook.targetOld);
    EXPECT_EQ(LoadTextLines(target), TextLines{"new"});
    EXPECT_FALSE(FileExists(file.TemporaryPath()));
}

TEST(PendingFile, AnyFailureLeavesTheOldFileAndNoTemporary) {
    struct Case {
        const char* what;
        std::function<void(const std::string& target)> write;
    };
    const Case cases[] = {
        {"never committed",
         [](const std::string& target) {
             PendingFile file(target);
             file.WriteAll(Bytes("new\r\n"));
         }},
        {"the hook fails",
         [](const std::string& target) {
             LookingHook failing(true);
             ReplaceFile(target, Bytes("new\r\n"), &failing);
         }},
        {"the rename fails",
         [](const std::string& target) {
             PendingFile file(target);
             file.WriteAll(Bytes("new\r\n"));
             RemoveFileQuietly(target);
             CreateDirectories(target + "/in the way");
             file.Commit();
         }},
    };
    for (const Case& c : cases) {
        testing::TempDir tmp;
        const std::string target = tmp / "out.lst";
        SaveTextLines(target, {"old"});
        try {
            c.write(target);
        } catch (const FileWriteError& error) {
            EXPECT_EQ(error.Path(), target) << c.what;
        }
        if (IsDirectory(target)) {
            EXPECT_TRUE(FileExists(target + "/in the way")) << c.what;
        } else {
            EXPECT_EQ(LoadTextLines(target), TextLines{"old"}) << c.what;
        }
        EXPECT_FALSE(FileExists(PendingFile::TemporaryPathOf(target))) << c.what;
    }
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

TEST(PendingFile, NeverWritesThroughALink) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    testing::TempDir tmp;
    const std::string outside = tmp / "outside";
    SaveTextLines(outside, {"kept"});
    // A link at the target is replaced by the new file; what it points to stays.
    std::filesystem::create_symlink(outside, tmp / "result.log");
    ReplaceFile(tmp / "result.log", Bytes("new\r\n"));
    EXPECT_EQ(EntryTypeOf(tmp / "result.log"), EntryType::RegularFile);
    EXPECT_EQ(LoadTextLines(outside), TextLines{"kept"});
    // A stale temporary that is a plain file goes; a link there stops the write.
    SaveTextLines(PendingFile::TemporaryPathOf(tmp / "a.bmp"), {"stale"});
    ReplaceFile(tmp / "a.bmp", Bytes("new\r\n"));
    EXPECT_EQ(LoadTextLines(tmp / "a.bmp"), TextLines{"new"});
    std::filesystem::create_symlink(outside, PendingFile::TemporaryPathOf(tmp / "b.bmp"));
    EXPECT_THROW(ReplaceFile(tmp / "b.bmp", Bytes("new\r\n")), FileCreateError);
    EXPECT_EQ(LoadTextLines(outside), TextLines{"kept"});
}

} // namespace
} // namespace eitool
