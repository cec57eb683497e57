#include "cli/DemoSupport.h"

#include "app/TMainForm.h"
#include "cli/CliDialogs.h"
#include "cli/Console.h"
#include "cli/ConsoleSurface.h"
#include "cli/Summary.h"
#include "common/Paths.h"

namespace eitool::cli::demo {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void ReportStep(double seconds, const std::string& what) {
    std::string time = SecondsText(seconds);
    time.insert(0, time.size() < 9 ? 9 - time.size() : 0, ' ');
    WriteStdout(time + "  " + what + "\n");
}

std::string RelativeTo(const std::string& path, const std::string& base) {
    if (path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
        IsPathSeparator(path[base.size()])) {
        return path.substr(base.size() + 1);
    }
    return path;
}

FormRun RunThroughForm(const DemoContext& demo, int position, const TextLines& files,
                       const std::string& target) {
    ConsoleSurface surface({.echoResults = false, .showProgress = demo.progress});
    CliDialogs dialogs(target);
    TMainForm form(surface, dialogs);
    form.AddFilesConfirmed(position, files);
    try {
        form.BProcessClick();
    } catch (...) {
        surface.ClearDisplay();
        throw;
    }
    surface.ClearDisplay();
    return {surface.Results(), form.State().stats};
}

} // namespace eitool::cli::demo
