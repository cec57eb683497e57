#include "run/PiecePath.h"

#include "common/FileSystem.h"
#include "common/RunError.h"
#include "support/PackWorkbench.h"
#include "support/Platform.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using testing::PackWorkbench;

TEST(PiecePath, RefusesPathsThatLeaveTheTarget) {
    PackWorkbench bench;
    RunContext run = bench.Run();
    EXPECT_THROW(MakePiecePath(run, bench.dir / "a.tre", "BIN/../../../escaped"), UnsafePathError);
    bench.state.ListFromScan = true;
    bench.state.ScanRoot = bench.dir / "games";
    EXPECT_THROW(MakePiecePath(run, bench.dir / "games/../../x/a.tre", "BIN/0000_a.bin"),
                 UnsafePathError);
    EXPECT_FALSE(FileExists(bench.dir / "x"));
}

TEST(PiecePath, RemembersTheDirectoriesItMade) {
    PackWorkbench bench;
    RunContext run = bench.Run();
    const std::string first =
        MakePiecePath(run, bench.dir / "a.tre", testing::NativePath("TGA/0000_a.tga"));
    EXPECT_EQ(first, bench.state.TargetDirectory + testing::NativePath("/TGA/0000_a.tga"));
    EXPECT_TRUE(IsDirectory(bench.state.TargetDirectory + testing::NativePath("/TGA")));
    // Known for the rest of the run: the file system is not asked again.
    std::filesystem::remove(bench.state.TargetDirectory + testing::NativePath("/TGA"));
    MakePiecePath(run, bench.dir / "a.tre", testing::NativePath("TGA/0001_b.tga"));
    EXPECT_FALSE(FileExists(bench.state.TargetDirectory + testing::NativePath("/TGA")));
}

TEST(PiecePath, DirectoriesBelowTheTargetThatAreLinksOrFilesAreRefused) {
    EITOOL_SKIP_ON_WINDOWS(testing::kNoLinks);
    PackWorkbench bench;
    RunContext run = bench.Run();
    const std::string target = bench.state.TargetDirectory;
    std::filesystem::create_directories(bench.dir / "elsewhere/deep");
    std::filesystem::create_directory_symlink(bench.dir / "elsewhere",
                                              target + testing::NativePath("/BIN"));
    std::filesystem::create_directory(target + testing::NativePath("/TGA"));
    std::filesystem::create_directory_symlink(bench.dir / "elsewhere",
                                              target + testing::NativePath("/TGA/deep"));
    std::ofstream(target + testing::NativePath("/FNT"));
    for (const char* name :
         {"BIN/0000_a.bin", "BIN/deep/0000_a.bin", "TGA/deep/0000_a.tga", "FNT/0000_a.fnt"}) {
        EXPECT_THROW(MakePiecePath(run, bench.dir / "a.tre", name), UnsafePathError) << name;
    }
    EXPECT_EQ(MakePiecePath(run, bench.dir / "a.tre", testing::NativePath("TGA/0000_a.tga")),
              target + testing::NativePath("/TGA/0000_a.tga"));
}

} // namespace
} // namespace eitool
