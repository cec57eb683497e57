// The texture section of `eitool demo`: a 256-colour and a 16-colour extended image with mipmaps
// are extracted, one level is edited (pixels and palette), two are replaced by bitmaps that must
// be refused, and the patched copies are checked byte for byte.
#include <algorithm>

#include "demo/DemoSupport.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "images/Bitmap.h"
#include "images/Ps2util.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

namespace eitool::demo {

namespace {

struct TextureFile {
    std::string path;
    samples::SampleTexture texture;
    Bytes bytes;
};

std::uint32_t U32At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// Where level k's pixels lie in a file that has a level table.
std::size_t LevelStart(const Bytes& bytes, std::size_t k) {
    return 32 + U32At(bytes, 32 + 8 * k);
}

std::string Describe(const TextureFile& file, const std::string& base) {
    const auto& levels = file.texture.levels;
    return RelativeTo(file.path, base) + " (" + std::to_string(file.texture.depth == 4 ? 16 : 256) +
           " colours, " + std::to_string(levels.size()) + " levels " +
           std::to_string(levels.front().width) + "x" + std::to_string(levels.front().height) +
           " down to " + std::to_string(levels.back().width) + "x" +
           std::to_string(levels.back().height) + ")";
}

// The lines that the extraction must have written for a file: its level paths, "NULL" for the
// levels of 16 pixels or less.
TextLines ExpectedLines(const TextureFile& file, const std::string& target) {
    TextLines lines = {"#Format: BTE", "#Source: " + file.path};
    const std::string name = FileNamePart(file.path);
    const std::string stem = name.substr(0, name.find('.'));
    for (std::size_t k = 0; k < file.texture.levels.size(); ++k) {
        const auto& level = file.texture.levels[k];
        lines.push_back(level.width <= 16 || level.height <= 16
                            ? "NULL"
                            : JoinPath(target, stem + "_mip_" + HexIndex(static_cast<std::uint32_t>(k), 2) + ".bmp"));
    }
    return lines;
}

// Whether every extracted level holds the texture's pixels (4-bit: left pixel in the high
// nibble of the BMP, in the low nibble of the texture).
bool LevelsMatch(const TextureFile& file, const TextLines& lines) {
    for (std::size_t k = 0; k < file.texture.levels.size(); ++k) {
        const std::string& line = lines[k + 2];
        if (line == "NULL") {
            continue;
        }
        const auto& level = file.texture.levels[k];
        const Bitmap bitmap = Bitmap::LoadFromFile(line);
        if (bitmap.Width() != level.width || bitmap.Height() != level.height ||
            bitmap.Format() != (file.texture.depth == 4 ? pf4bit : pf8bit)) {
            return false;
        }
        for (std::int32_t y = 0; y < level.height; ++y) {
            for (std::int32_t x = 0; x < level.width; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(level.width) +
                                       static_cast<std::size_t>(x);
                const std::uint32_t expected =
                    file.texture.depth == 8 ? level.linear[at]
                                            : (level.linear[at / 2] >> (x % 2 == 0 ? 0 : 4)) & 0x0Fu;
                if (bitmap.PixelValue(x, y) != expected) {
                    return false;
                }
            }
        }
    }
    return true;
}

} // namespace

bool RunTextureSection(DemoContext& demo) {
    const std::string base = JoinPath(demo.root, "textures");
    const std::string gameDir = JoinPath(base, "game");
    const std::string target = JoinPath(base, "levels");
    const std::string patchedDir = JoinPath(base, "patched");
    const std::string logPath = JoinPath(target, "result.log");
    bool passed = true;
    auto fail = [&](double seconds, const std::string& what) {
        ReportStep(demo, seconds, "FAILED: " + what);
        passed = false;
    };
    demo.host->Report("Texture cycle in " + base + "\n");

    // Make.
    auto start = Clock::now();
    if (!CreateDirectories(gameDir)) {
        throw FileCreateError(gameDir, "cannot create directory");
    }
    TextureFile title{JoinPath(gameDir, "title.bmpx"), samples::MakeSampleTexture(8, 256, 8, 77), {}};
    TextureFile icons{JoinPath(gameDir, "icons.tgax"), samples::MakeSampleTexture(4, 128, 8, 78), {}};
    for (TextureFile* file : {&title, &icons}) {
        file->bytes = samples::BuildExtendedImage(file->texture);
        WriteWholeFile(file->path, file->bytes);
    }
    ReportStep(demo, SecondsSince(start), "made " + Describe(title, base) + " and " + Describe(icons, base));

    // Extract.
    start = Clock::now();
    const FormRun extraction = RunThroughForm(demo, 2, {title.path, icons.path}, target);
    double seconds = SecondsSince(start);
    TextLines expected = ExpectedLines(title, target);
    const TextLines iconLines = ExpectedLines(icons, target);
    expected.insert(expected.end(), iconLines.begin(), iconLines.end());
    const TextLines log = LoadTextLines(logPath);
    if (!extraction.results.empty()) {
        fail(seconds, "extraction reported: " + extraction.results.front());
    } else if (log != expected) {
        fail(seconds, "result.log does not list the levels as expected");
    } else if (!LevelsMatch(title, TextLines(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(title.texture.levels.size() + 2))) ||
               !LevelsMatch(icons, iconLines)) {
        fail(seconds, "an extracted level does not hold the texture's pixels");
    } else {
        ReportStep(demo, seconds, "extracted " + std::to_string(extraction.stats.pieces) +
                                " levels as indexed BMP files into " + RelativeTo(target, base) +
                                "/ (levels of 16 pixels or less are NULL lines), unswizzled "
                                "pixels checked");
    }
    if (!passed) {
        return false;
    }

    // Edit: title level 1 gets new pixels and a new palette colour; icons level 0 is replaced by
    // a 256-colour bitmap, icons level 1 by one of the wrong size.
    start = Clock::now();
    const std::string titleLevel = log[3];
    Bitmap edited = Bitmap::LoadFromFile(titleLevel);
    for (std::int32_t y = 10; y < 42; ++y) {
        for (std::int32_t x = 20; x < 60; ++x) {
            edited.SetPixelValue(x, y, static_cast<std::uint32_t>((x * 7 + y * 3) & 0xFF));
        }
    }
    std::vector<Rgb> palette = edited.Palette();
    palette[0] = Rgb{255, 0, 255};
    edited.SetPalette(palette);
    edited.SaveToFile(titleLevel);
    const std::string iconDepth = iconLines[2];
    const std::string iconSize = iconLines[3];
    Bitmap wrongDepth;
    wrongDepth.SetPixelFormat(pf8bit);
    wrongDepth.SetSize(icons.texture.levels[0].width, icons.texture.levels[0].height);
    wrongDepth.SaveToFile(iconDepth);
    Bitmap wrongSize;
    wrongSize.SetPixelFormat(pf4bit);
    wrongSize.SetSize(icons.texture.levels[1].width, icons.texture.levels[1].height / 2);
    wrongSize.SaveToFile(iconSize);
    ReportStep(demo, SecondsSince(start), "edited " + RelativeTo(titleLevel, base) +
                                        " (40x32 pixels and palette entry 0), replaced " +
                                        RelativeTo(iconDepth, base) + " by a 256-colour bitmap and " +
                                        RelativeTo(iconSize, base) + " by one of half its height");

    // Insert into patched copies.
    start = Clock::now();
    const FormRun insertion = RunThroughForm(demo, 5, {logPath}, patchedDir);
    seconds = SecondsSince(start);
    const std::vector<std::string> expectedResults = {iconDepth + " not 4 bit!",
                                                      iconSize + " has invalid size!"};
    if (insertion.results != expectedResults) {
        fail(seconds, "insertion reported " + std::to_string(insertion.results.size()) +
                          " results lines instead of the two refusals");
    } else {
        ReportStep(demo, seconds, "inserted " + RelativeTo(logPath, base) + " into " +
                                RelativeTo(patchedDir, base) + "/: \"" +
                                RelativeTo(expectedResults[0], base) + "\", \"" +
                                RelativeTo(expectedResults[1], base) + "\"");
    }

    // Check: the title copy differs from the source exactly by the swizzled edited level; the
    // icons copy equals its source.
    start = Clock::now();
    Bytes expectedTitle = title.bytes;
    const auto& level1 = title.texture.levels[1];
    Bytes linear(static_cast<std::size_t>(level1.width) * static_cast<std::size_t>(level1.height));
    for (std::int32_t y = 0; y < level1.height; ++y) {
        std::copy_n(edited.ScanLine(y), level1.width,
                    linear.begin() + static_cast<std::ptrdiff_t>(y) * level1.width);
    }
    SwizzleImage8(level1.width, level1.height, linear.data(),
                  expectedTitle.data() + LevelStart(title.bytes, 1));
    const Bytes patchedTitle = ReadWholeFile(JoinPath(patchedDir, "title.bmpx"));
    const Bytes patchedIcons = ReadWholeFile(JoinPath(patchedDir, "icons.tgax"));
    seconds = SecondsSince(start);
    if (patchedTitle != expectedTitle) {
        fail(seconds, "patched/title.bmpx is not the source with the edited level swizzled in");
    } else if (patchedIcons != icons.bytes) {
        fail(seconds, "patched/icons.tgax differs from its source although both edits were refused");
    } else if (ReadWholeFile(title.path) != title.bytes) {
        fail(seconds, "the source texture changed");
    } else {
        ReportStep(demo, seconds, "checked the patched copies: title.bmpx holds the edited level in the "
                            "stored layout and its palette bytes unchanged, icons.tgax equals its "
                            "source, the sources are untouched");
    }
    return passed;
}

} // namespace eitool::demo
