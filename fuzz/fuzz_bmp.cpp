// Loads arbitrary bytes as a BMP file. A file that loads must save and load back to the same
// picture; a file that does not must be refused with CorruptFileError, nothing else. Every file
// is then offered as the one level of a 32 x 32 texture of its depth (4 bits for a 4-bit file,
// 8 bits otherwise), so that the insertion's checks of depth and size see it too.
#include "FuzzSupport.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "images/ExtendedImage.h"
#include "samples/SampleTexture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace {

// A 32 x 32 texture of one level, described by the header alone.
const std::vector<std::uint8_t>& Texture(int depth) {
    static const auto make = [](int bits) {
        eitool::samples::SampleTexture texture =
            eitool::samples::MakeSampleTexture(bits, 32, 32, 1);
        texture.levelTable = false;
        return eitool::samples::BuildExtendedImage(texture);
    };
    static const std::vector<std::uint8_t> four = make(4);
    static const std::vector<std::uint8_t> eight = make(8);
    return depth == 4 ? four : eight;
}

void CheckRoundTrip(const eitool::Bitmap& bitmap) {
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
}

void InsertAsLevel(const std::uint8_t* data, std::size_t size, int depth) {
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string texture = work.File(depth == 4 ? "t4.bmpx" : "t8.bmpx");
    const std::string level = work.File("level.bmp");
    eitool::WriteWholeFile(texture, Texture(depth));
    eitool::WriteWholeFile(level, std::vector<std::uint8_t>(data, data + size));
    eitool::RunState state;
    state.TargetDirectory = work.Target();
    state.ReplayList = {level};
    state.SourceStream =
        std::make_unique<eitool::FileStream>(eitool::FileStream::Open(texture, eitool::omRead));
    eitool::fuzz::QuietSurface surface;
    eitool::RunContext run{state, surface};
    try {
        eitool::InsertExtendedImage(run, work.File("out/copy.bmpx"), 0);
    } catch (const eitool::Refusal&) {
    } catch (const eitool::RunError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    eitool::Bitmap bitmap;
    try {
        bitmap = eitool::Bitmap::LoadFromBytes(std::span(data, size), "fuzz.bmp");
    } catch (const eitool::CorruptFileError&) {
        return 0;
    }
    CheckRoundTrip(bitmap);
    InsertAsLevel(data, size, bitmap.Format() == eitool::pf4bit ? 4 : 8);
    return 0;
}
