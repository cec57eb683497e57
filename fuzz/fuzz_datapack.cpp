// Extracts arbitrary bytes as a data pack (directory, names list, pieces) and, when that worked,
// inserts the pieces it wrote back into the pack. Either step must handle the file or refuse it
// with a RunError: no crash, no hang, no allocation the bytes cannot justify.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/DataPack.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    eitool::fuzz::ExtractThenInsert(data, size, "in.tre", eitool::ExtractDataPack,
                                    eitool::InsertDataPack, eitool::omReadWrite, "");
    return 0;
}
