#include "run/PiecePath.h"

#include "common/FileSystem.h"
#include "common/RunError.h"
#include "support/PackWorkbench.h"

#include <filesystem>
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
    const std::string first = MakePiecePath(run, bench.dir / "a.tre", "TGA/0000_a.tga");
    EXPECT_EQ(first, bench.state.TargetDirectory + "/TGA/0000_a.tga");
    EXPECT_TRUE(IsDirectory(bench.state.TargetDirectory + "/TGA"));
    // Known for the rest of the run: the file system is not asked again.
    std::filesystem::remove(bench.state.TargetDirectory + "/TGA");
    MakePiecePath(run, bench.dir / "a.tre", "TGA/0001_b.tga");
    EXPECT_FALSE(FileExists(bench.state.TargetDirectory + "/TGA"));
}

} // namespace
} // namespace eitool
