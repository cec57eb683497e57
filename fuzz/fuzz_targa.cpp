// Loads arbitrary bytes as a TGA file. A file that loads must give a bitmap of the header's size
// and format whose rows GetScanLine reaches, and ReverseColors twice must give back every pixel;
// a file that does not load must be refused with CorruptFileError, nothing else, and leave the
// component's picture as it was.
#include "common/RunError.h"
#include "images/Targa.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    eitool::TTarga targa;
    targa.SetDepth(24);
    targa.SetWidth(1);
    targa.SetHeight(1);
    try {
        targa.LoadFromBytes(std::span(data, size), "fuzz.tga");
    } catch (const eitool::CorruptFileError&) {
        if (targa.Width() != 1 || targa.Height() != 1 || targa.Picture()->Width() != 1) {
            std::abort();
        }
        return 0;
    }
    const eitool::Bitmap& picture = *targa.Picture();
    if (picture.Width() != targa.Width() || picture.Height() != targa.Height() ||
        eitool::BitsPerPixel(picture.Format()) != (targa.GetDepth() + 7) / 8 * 8 ||
        targa.Header()[2] != 2) {
        std::abort();
    }
    const std::size_t rowBytes = std::size_t(picture.Width()) * ((targa.GetDepth() + 7) / 8);
    if (rowBytes == 0) {
        return 0;
    }
    std::vector<std::uint8_t> before;
    for (std::int32_t row = 0; row < picture.Height(); ++row) {
        const std::uint8_t* line = targa.GetScanLine(row);
        before.insert(before.end(), line, line + rowBytes);
    }
    targa.ReverseColors();
    targa.ReverseColors();
    std::size_t at = 0;
    for (std::int32_t row = 0; row < picture.Height(); ++row, at += rowBytes) {
        if (std::memcmp(targa.GetScanLine(row), before.data() + at, rowBytes) != 0) {
            std::abort();
        }
    }
    return 0;
}
