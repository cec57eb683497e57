// `eitool demo` end to end: the whole cycle on generated files, in a temporary directory; and
// the runner of the sections' steps.
#include "cli/RunEitool.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/TextLines.h"
#include "demo/DemoSection.h"
#include "samples/SamplePack.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <stdexcept>

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

// A host that keeps the report; the sections below never open a run.
class ReportingHost : public demo::DemoHost {
public:
    std::string report;
    std::vector<std::string> errors;

    void Report(const std::string& text) override { report += text; }
    void ReportError(const std::string& text) override { errors.push_back(text); }
    std::unique_ptr<StatusSurface> OpenRunSurface() override {
        return std::make_unique<RecordingSurface>();
    }
    void CloseRunSurface(StatusSurface&) override {}
};

// A section whose steps fail or throw where they are told to, and keep the order they ran in.
class ScriptedSection : public demo::DemoSection {
public:
    ScriptedSection(const demo::DemoContext& demo, std::string failing, std::string throwing)
        : DemoSection(demo, demo.root), m_failing(std::move(failing)),
          m_throwing(std::move(throwing)) {}

    std::vector<std::string> ran;

    demo::StepOutcome Make() override { return Step("make"); }
    demo::StepOutcome Extract() override { return Step("extract"); }
    demo::StepOutcome Edit() override { return Step("edit"); }
    demo::StepOutcome Insert() override { return Step("insert"); }
    demo::StepOutcome Check() override { return Step("check"); }

private:
    demo::StepOutcome Step(const std::string& name) {
        ran.push_back(name);
        if (name == m_throwing) {
            throw std::runtime_error("disk full");
        }
        return name == m_failing ? demo::Failed(name + " went wrong") : demo::Done(name + " done");
    }

    std::string m_failing;
    std::string m_throwing;
};

TEST(DemoSection, StepsRunInOrderAndTheFirstFailureEndsTheSection) {
    struct Case {
        const char* failing;
        const char* throwing;
        std::vector<std::string> ran;
        const char* lastLine; // the report's last line, after the time
        const char* error;    // what went to the error output
        bool passed;
    };
    const Case cases[] = {
        {"", "", {"make", "extract", "edit", "insert", "check"}, "check done", "", true},
        {"edit", "", {"make", "extract", "edit"}, "FAILED: edit went wrong", "", false},
        {"",
         "insert",
         {"make", "extract", "edit", "insert"},
         "FAILED: the insert step ended: disk full",
         "disk full",
         false},
    };
    for (const Case& c : cases) {
        ReportingHost host;
        demo::DemoContext context{&host, "/nowhere", true};
        ScriptedSection section(context, c.failing, c.throwing);

        const bool passed = demo::RunSection(context, "Scripted cycle", section);

        EXPECT_EQ(section.ran, c.ran) << c.lastLine;
        EXPECT_EQ(passed, c.passed) << c.lastLine;
        EXPECT_EQ(context.passed, c.passed) << c.lastLine;
        EXPECT_TRUE(host.report.starts_with("Scripted cycle\n")) << host.report;
        const TextLines lines = SplitTextLines(host.report);
        EXPECT_EQ(lines.size(), 1 + c.ran.size()) << host.report;
        EXPECT_TRUE(lines.back().ends_with(" s  " + std::string(c.lastLine))) << host.report;
        EXPECT_EQ(host.errors, std::string(c.error).empty() ? std::vector<std::string>{}
                                                            : std::vector<std::string>{c.error});
    }
}

} // namespace
} // namespace eitool::testing
