// Replays a result log with every inserter over files of a private directory. The input is the
// log's text followed by the files it names, each after a mark "\n#@file NAME\n" (see
// FuzzSupport.h); the directory is the working directory, so the log's relative names find them.
// The replay must handle every log or end with a RunError.
#include "FuzzSupport.h"
#include "app/LogReplay.h"
#include "common/RunError.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// A log may name only files of the directory: no absolute path (a "/" at the start of a line or
// after a blank, where a keyword's rest begins) and no "..".
bool NamesOnlyInside(std::span<const std::uint8_t> text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '/' && (i == 0 || text[i - 1] <= ' ')) {
            return false;
        }
        if (text[i] == '.' && i + 1 < text.size() && text[i + 1] == '.') {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const eitool::fuzz::SplitInput input = eitool::fuzz::Split(data, size);
    if (!NamesOnlyInside(input.head)) {
        return 0;
    }
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    static const bool entered = (work.Enter(), true);
    (void)entered;
    work.Fresh();
    eitool::fuzz::WriteFiles(work, input.files);
    const std::string logPath = work.File("replay.log");
    eitool::WriteWholeFile(logPath,
                           std::vector<std::uint8_t>(input.head.begin(), input.head.end()));
    eitool::RunState state;
    state.TargetDirectory = "out"; // relative, as the seeds' logs name their pieces
    eitool::fuzz::QuietSurface surface;
    eitool::RunContext run{state, surface};
    try {
        eitool::ReplayLog(run, logPath);
    } catch (const eitool::RunError&) {
    }
    return 0;
}
