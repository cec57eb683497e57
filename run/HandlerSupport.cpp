#include "run/HandlerSupport.h"

#include "common/FileSystem.h"
#include "common/Paths.h"

namespace eitool {

void ShowFileStatus(RunContext& run, std::string_view verb, const std::string& path) {
    run.surface.SetCurrentMessage(std::string(verb) + FileNamePart(path) + "...");
    run.surface.ProcessMessages();
}

bool IsSameFile(const std::string& a, const std::string& b) {
    const std::string resolved = CanonicalPath(a);
    return !resolved.empty() && resolved == CanonicalPath(b);
}

} // namespace eitool
