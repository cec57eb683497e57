#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ConsoleSurface.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "demo/Demo.h"

namespace eitool::cli {

namespace {

// The demo's report goes to standard output; each run's progress is the console's display on
// standard error, taken away again before the report goes on.
class ConsoleDemoHost : public demo::DemoHost {
public:
    explicit ConsoleDemoHost(bool progress) : m_progress(progress) {}

    void Report(const std::string& text) override { WriteStdout(text); }
    void ReportError(const std::string& text) override { WriteStderr("eitool: " + text + "\n"); }
    std::unique_ptr<StatusSurface> OpenRunSurface() override {
        return std::make_unique<ConsoleSurface>(
            ConsoleSurface::Options{.echoResults = false, .showProgress = m_progress});
    }
    void CloseRunSurface(StatusSurface& surface) override {
        static_cast<ConsoleSurface&>(surface).ClearDisplay();
    }

private:
    bool m_progress;
};

} // namespace

int RunDemo(const CommandLine& line) {
    const std::string currentDirectory = CurrentDirectory();
    const std::string root = line.demoDir.empty() ? JoinPath(currentDirectory, "eitool-demo")
                                                  : ResolveTarget(line.demoDir, currentDirectory);
    ConsoleDemoHost host(line.progress || StderrIsTerminal());
    try {
        return demo::RunDemo(host, root) ? kExitClean : kExitFailed;
    } catch (const demo::ForeignDirectoryError& error) {
        throw UsageError(error.what());
    }
}

} // namespace eitool::cli
