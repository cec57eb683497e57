#include "run/HandlerSupport.h"

#include "common/FileSystem.h"
#include "common/Paths.h"

#include <limits>

namespace eitool {

void ShowFileStatus(RunContext& run, std::string_view verb, const std::string& path) {
    run.surface.SetCurrentMessage(std::string(verb) + FileNamePart(path) + "...");
    run.surface.ProcessMessages();
}

bool AbortRequested(RunContext& run) {
    if (run.state.StopTag == 1 || run.surface.StopWaiting()) {
        run.surface.ProcessMessages();
    }
    return run.state.StopTag >= 2;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    const std::string resolved = CanonicalPath(a);
    return !resolved.empty() && resolved == CanonicalPath(b);
}

std::uint64_t OutputLimit(std::uint64_t inputSize) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (inputSize > (kMax - kOutputAllowance) / kOutputFactor) {
        return kMax;
    }
    return inputSize * kOutputFactor + kOutputAllowance;
}

bool WithinOutputLimit(RunContext& run, const std::string& path, std::uint64_t planned,
                       std::uint64_t inputSize) {
    if (planned <= OutputLimit(inputSize)) {
        return true;
    }
    run.surface.AddResultLine(path + kOutputRefused);
    return false;
}

} // namespace eitool
