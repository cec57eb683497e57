#include "demo/DemoSupport.h"

#include "app/AnsweringDialogs.h"
#include "app/RunSummary.h"
#include "app/TMainForm.h"
#include "common/Paths.h"

namespace eitool::demo {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void ReportStep(const DemoContext& demo, double seconds, const std::string& what) {
    std::string time = SecondsText(seconds);
    time.insert(0, time.size() < 9 ? 9 - time.size() : 0, ' ');
    demo.host->Report(time + "  " + what + "\n");
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
    const std::unique_ptr<StatusSurface> surface = demo.host->OpenRunSurface();
    // The open dialog gets the files, the picker the section's target (made when missing); the
    // closing message box has no one to show it to.
    AnsweringDialogs dialogs;
    dialogs.open = OpenAnswer{files, position};
    dialogs.picker = target;
    TMainForm form(*surface, dialogs);
    try {
        form.BAddLogClick();
        form.BProcessClick();
    } catch (...) {
        demo.host->CloseRunSurface(*surface);
        throw;
    }
    demo.host->CloseRunSurface(*surface);
    return {surface->ResultLines(), form.State().stats};
}

} // namespace eitool::demo
