// Loads arbitrary bytes as a BMP file. A file that loads must save and load back to the same
// picture; a file that does not must be refused with CorruptFileError, nothing else.
#include "common/RunError.h"
#include "images/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    eitool::Bitmap bitmap;
    try {
        bitmap = eitool::Bitmap::LoadFromBytes(std::span(data, size), "fuzz.bmp");
    } catch (const eitool::CorruptFileError&) {
        return 0;
    }
    const auto saved = bitmap.SaveToBytes();
    const eitool::Bitmap again = eitool::Bitmap::LoadFromBytes(saved, "saved.bmp");
    if (again.Width() != bitmap.Width() || again.Height() != bitmap.Height() ||
        again.Format() != bitmap.Format() || again.Palette() != bitmap.Palette()) {
        std::abort();
    }
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
            if (again.PixelValue(x, y) != bitmap.PixelValue(x, y)) {
                std::abort();
            }
        }
    }
    return 0;
}
