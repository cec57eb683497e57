// The font reader and the glyph strip reader. The first byte picks one: even, the rest is a font
// whose sheet "a.bmp" (64 x 64, 8 bits) lies beside it, extracted into a strip; odd, the rest is a
// BMP file whose marked bands FindGlyphBoxes finds, each box inside the bitmap.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/Font.h"
#include "images/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void CheckBoxes(std::span<const std::uint8_t> bytes) {
    eitool::Bitmap strip;
    try {
        strip = eitool::Bitmap::LoadFromBytes(bytes, "strip.bmp");
    } catch (const eitool::CorruptFileError&) {
        return;
    }
    std::vector<eitool::GlyphBox> boxes;
    const std::int32_t count = eitool::FindGlyphBoxes(strip, boxes);
    if (count < 0 || static_cast<std::size_t>(count) != boxes.size()) {
        std::abort();
    }
    std::int32_t previousTop = -1;
    for (const eitool::GlyphBox& box : boxes) {
        const bool inside = box.Top > previousTop && box.Top < strip.Height() &&
                            box.Bottom >= box.Top && box.Bottom <= strip.Height() &&
                            box.Left >= 1 && box.Left <= box.Right && box.Right <= strip.Width();
        if (!inside) {
            std::abort();
        }
        previousTop = box.Top;
    }
}

void ExtractFont(std::span<const std::uint8_t> bytes) {
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    static const bool sheetMade = [&work] {
        eitool::Bitmap sheet;
        sheet.SetPixelFormat(eitool::pf8bit);
        sheet.SetSize(64, 64);
        sheet.FillRect({8, 8, 40, 24}, {255, 255, 255});
        sheet.SaveToFile(work.File("a.bmp"));
        return true;
    }();
    (void)sheetMade;
    const std::string path = work.File("in.fnt");
    eitool::WriteWholeFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    eitool::fuzz::QuietRun quiet(work);
    eitool::RunContext& run = quiet.run;
    try {
        eitool::ExtractFont(run, path);
    } catch (const eitool::RunError&) {
    }
    std::error_code error;
    std::filesystem::remove_all(work.Target(), error);
    std::filesystem::create_directories(work.Target(), error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        ExtractFont(rest);
    } else {
        CheckBoxes(rest);
    }
    return 0;
}
