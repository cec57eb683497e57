// Lists and checks arbitrary bytes as a data pack (as list and verify do), then extracts them
// (directory, names list, pieces) and, when that worked, inserts the pieces it wrote back into the
// pack. Every step must handle the file or refuse it with a RunError: no crash, no hang, no
// allocation the bytes cannot justify.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/DataPack.h"
#include "formats/DataPackContents.h"

#include <cstddef>
#include <cstdint>

namespace {

void ListAndCheck(const std::uint8_t* data, std::size_t size) {
    const eitool::fuzz::WorkDirectory& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string path = work.File("list.tre");
    eitool::WriteWholeFile(path, std::vector<std::uint8_t>(data, data + size));
    eitool::RunState state;
    state.TargetDirectory = work.Target();
    try {
        eitool::FileStream pack = eitool::FileStream::Open(path, eitool::omRead);
        const eitool::DataPackContents contents = eitool::ReadDataPackContents(pack);
        if (eitool::MembersWithinCheckLimit(contents)) {
            eitool::CheckMembers(pack, contents);
        }
        eitool::FreeAfterMembers(contents.entries, contents.order, contents.fileSize);
        for (std::uint32_t k = 0; k < contents.order.size(); ++k) {
            eitool::MemberPiecePath(state, path, contents, k, eitool::MemberName(contents, k));
        }
    } catch (const eitool::RunError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ListAndCheck(data, size);
    eitool::fuzz::ExtractThenInsert(data, size, "in.tre", eitool::ExtractDataPack,
                                    eitool::InsertDataPack, eitool::omReadWrite, "");
    return 0;
}
