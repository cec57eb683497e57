// Extracts arbitrary bytes as a data pack (directory, names list, pieces) and, when that worked,
// inserts the pieces it wrote back into the pack. Either step must handle the file or refuse it
// with a RunError: no crash, no hang, no allocation the bytes cannot justify.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/DataPack.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string path = work.File("in.tre");
    eitool::WriteWholeFile(path, std::vector<std::uint8_t>(data, data + size));
    eitool::RunState state;
    state.TargetDirectory = work.Target();
    eitool::fuzz::QuietSurface surface;
    eitool::RunContext run{state, surface};
    try {
        eitool::ExtractDataPack(run, path);
        if (!state.ResultLog.empty()) {
            state.ReplayList = state.ResultLog;
            state.SourceStream = std::make_unique<eitool::FileStream>(
                eitool::FileStream::Open(path, eitool::omReadWrite));
            eitool::InsertDataPack(run, path, 0);
        }
    } catch (const eitool::RunError&) {
    }
    return 0;
}
