// `eitool demo` end to end: the whole cycle on generated files, in a temporary directory.
#include <gtest/gtest.h>

#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "samples/SamplePack.h"
#include "support/TempDir.h"

namespace eitool::testing {
namespace {

TEST(DemoCommand, RunsTheWholeCycleAndPassesItsChecks) {
    TempDir dir;

    const ProcessResult run = RunEitool({"demo", dir / "demo"});

    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("All checks passed"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("FAILED"), std::string::npos) << run.out;
    EXPECT_TRUE(FileExists(dir / "demo/.eitool-demo"));
}

TEST(DemoCommand, RefusesAForeignDirectoryButReusesItsOwn) {
    TempDir dir;
    CreateDirectories(dir / "mine");
    WriteWholeFile(dir / "mine/thesis.txt", {'h', 'i'});

    const ProcessResult fresh = RunEitool({"demo"}, InDirectory(dir / "mine"));
    const ProcessResult refused = RunEitool({"demo", "."}, InDirectory(dir / "mine"));

    EXPECT_EQ(fresh.exitCode, 0) << "./eitool-demo is new: " << fresh.err;
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(dir / "mine"), std::string::npos) << refused.err;
    EXPECT_TRUE(FileExists(dir / "mine/thesis.txt"));

    WriteWholeFile(dir / "mine/eitool-demo/leftover.bin", {1});
    const ProcessResult again = RunEitool({"demo"}, InDirectory(dir / "mine"));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_FALSE(FileExists(dir / "mine/eitool-demo/leftover.bin"));
}

} // namespace
} // namespace eitool::testing
