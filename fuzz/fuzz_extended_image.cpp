// Extracts arbitrary bytes as an extended image (header, level table, palette, levels) and, when
// that worked, writes a patched copy from the BMP files it made. Either step must handle the file
// or refuse it with a RunError.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "images/ExtendedImage.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string path = work.File("in.bmpx");
    eitool::WriteWholeFile(path, std::vector<std::uint8_t>(data, data + size));
    eitool::RunState state;
    state.TargetDirectory = work.Target();
    eitool::fuzz::QuietSurface surface;
    eitool::RunContext run{state, surface};
    try {
        eitool::ExtractExtendedImage(run, path);
        if (!state.ResultLog.empty()) {
            state.ReplayList = state.ResultLog;
            state.SourceStream = std::make_unique<eitool::FileStream>(
                eitool::FileStream::Open(path, eitool::omRead));
            eitool::InsertExtendedImage(run, work.File("out/copy.bmpx"), 0);
        }
    } catch (const eitool::RunError&) {
    }
    return 0;
}
