#include "common/FileSystem.h"

#include "common/FileStream.h"
#include "common/PendingFile.h"
#include "common/RunError.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace eitool {
namespace {

TEST(FileSystem, APathWithANulByteIsRefusedBeforeAnyFileOperation) {
    testing::TempDir tmp;
    const std::string victim = tmp / "victim.txt";
    WriteWholeFile(victim, {'v'});
    // Cut at the NUL, every path below names the victim.
    const std::string path = victim + std::string(1, '\0') + ".eitool-journal";
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"FileExists", [&] { FileExists(path); }},
        {"IsDirectory", [&] { IsDirectory(path); }},
        {"EntryTypeOf", [&] { EntryTypeOf(path); }},
        {"IdentityOf", [&] { IdentityOf(path); }},
        {"CreateDirectoryOne", [&] { CreateDirectoryOne(path); }},
        {"CreateDirectories", [&] { CreateDirectories(path); }},
        {"MakeRealDirectory", [&] { MakeRealDirectory(path, {}); }},
        {"RemoveFileQuietly", [&] { RemoveFileQuietly(path); }},
        {"RemoveTree", [&] { RemoveTree(path); }},
        {"RenameFile from", [&] { RenameFile(path, tmp / "other"); }},
        {"RenameFile to", [&] { RenameFile(tmp / "other", path); }},
        {"SyncDirectory", [&] { SyncDirectory(path); }},
        {"CanonicalPath", [&] { CanonicalPath(path); }},
        {"SetCurrentDirectory", [&] { SetCurrentDirectory(path); }},
        {"AbsolutePath", [&] { AbsolutePath(path); }},
        {"ListDirectory", [&] { ListDirectory(path); }},
        {"Open omRead", [&] { FileStream::Open(path, omRead); }},
        {"Open omReadWrite", [&] { FileStream::Open(path, omReadWrite); }},
        {"Open omCreate", [&] { FileStream::Open(path, omCreate); }},
        {"ReadWholeFile", [&] { ReadWholeFile(path); }},
        {"WriteWholeFile", [&] { WriteWholeFile(path, {'x'}); }},
        {"PendingFile", [&] { PendingFile file(path); }},
        {"ReplaceFile", [&] { ReplaceFile(path, std::vector<std::uint8_t>{'x'}); }},
    };
    for (const auto& [name, call] : calls) {
        try {
            call();
            ADD_FAILURE() << name << " accepted the path";
        } catch (const UnsafePathError& error) {
            // The message shows the byte and goes on past it.
            EXPECT_NE(std::string(error.what()).find("victim.txt\\0.eitool-journal"),
                      std::string::npos)
                << name << ": " << error.what();
        }
        EXPECT_EQ(ReadWholeFile(victim), std::vector<std::uint8_t>{'v'}) << name;
    }
}

TEST(FileSystem, DirectoriesBelowATargetMustBeRealDirectoriesInsideTheirParent) {
    testing::TempDir tmp;
    const FileIdentity top = *IdentityOf(tmp.Path());
    const auto made = MakeRealDirectory(tmp / "BIN", top);
    ASSERT_TRUE(made && IdentityOf(tmp / "BIN"));
    EXPECT_TRUE(made->SameFileAs(*IdentityOf(tmp / "BIN")));
    const auto again = MakeRealDirectory(tmp / "BIN", top); // an existing one is fine
    EXPECT_TRUE(again && again->SameFileAs(*made));
    std::filesystem::create_directory(tmp / "elsewhere");
#ifndef _WIN32 // MinGW's std::filesystem cannot make links
    std::filesystem::create_directory_symlink(tmp / "elsewhere", tmp / "TGA");
    EXPECT_THROW(MakeRealDirectory(tmp / "TGA", top), UnsafePathError);
#endif
    WriteWholeFile(tmp / "file", {});
    EXPECT_THROW(MakeRealDirectory(tmp / "file", top), UnsafePathError);
    // The right name under another parent.
    EXPECT_THROW(MakeRealDirectory(tmp / "elsewhere", *made), UnsafePathError);
}

} // namespace
} // namespace eitool
