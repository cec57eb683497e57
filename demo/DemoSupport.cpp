#include "demo/DemoSupport.h"

#include "app/RunSummary.h"
#include "app/TMainForm.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"

namespace eitool::demo {

namespace {

// The demo's answers: the picker gets the section's target, made when missing; the closing
// message box has no one to show it to.
class DemoDialogs : public Dialogs {
public:
    explicit DemoDialogs(std::string target) : m_target(std::move(target)) {}

    bool SelectDirectory(const std::string&, std::string& directory) override {
        if (!IsDirectory(m_target) && !CreateDirectories(m_target)) {
            throw FileCreateError(m_target, "cannot create the target directory");
        }
        directory = m_target;
        return true;
    }
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}

private:
    std::string m_target;
};

} // namespace

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
    DemoDialogs dialogs(target);
    TMainForm form(*surface, dialogs);
    form.AddFilesConfirmed(position, files);
    try {
        form.BProcessClick();
    } catch (...) {
        demo.host->CloseRunSurface(*surface);
        throw;
    }
    demo.host->CloseRunSurface(*surface);
    return {surface->ResultLines(), form.State().stats};
}

} // namespace eitool::demo
