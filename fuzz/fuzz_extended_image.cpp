// Extracts arbitrary bytes as an extended image (header, level table, palette, levels) and, when
// that worked, writes a patched copy from the BMP files it made. Either step must handle the file
// or refuse it with a RunError.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "images/ExtendedImage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    eitool::fuzz::ExtractThenInsert(data, size, "in.bmpx", eitool::ExtractExtendedImage,
                                    eitool::InsertExtendedImage, eitool::omRead, "out/copy.bmpx");
    return 0;
}
