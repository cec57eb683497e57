// A data pack with a rollback journal beside it. The input is the pack's bytes, then the
// journal's after a mark "\n#@file NAME\n" (the name does not matter; see FuzzSupport.h).
// Recovery must apply the journal or refuse it with a RunError, and the pack, recovered or not,
// is then extracted.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/DataPack.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const eitool::fuzz::SplitInput input = eitool::fuzz::Split(data, size);
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string packPath = work.File("in.tre");
    eitool::WriteWholeFile(packPath,
                           std::vector<std::uint8_t>(input.head.begin(), input.head.end()));
    if (!input.files.empty()) {
        const auto& journal = input.files.front().bytes;
        eitool::WriteWholeFile(eitool::DataPackJournalPath(packPath),
                               std::vector<std::uint8_t>(journal.begin(), journal.end()));
    }
    eitool::fuzz::QuietRun quiet(work);
    eitool::RunContext& run = quiet.run;
    try {
        eitool::RecoverDataPack(run, packPath);
    } catch (const eitool::RunError&) {
    }
    try {
        eitool::ExtractDataPack(run, packPath);
    } catch (const eitool::RunError&) {
    }
    return 0;
}
