// The texture section of `eitool demo`: a 256-colour and a 16-colour extended image with mipmaps
// are extracted, a box is drawn into one level (and its palette changed), two levels are replaced
// by bitmaps that must be refused, and the patched copies are checked byte for byte.
#include "common/ByteReader.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "demo/DemoSection.h"
#include "images/Bitmap.h"
#include "images/Ps2util.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

#include <algorithm>

namespace eitool::demo {

namespace {

struct TextureFile {
    std::string path;
    samples::SampleTexture texture;
    Bytes bytes;
};

// The box drawn into the edited level: a filled rectangle inside a two-pixel outline.
constexpr Rect kBox{8, 8, 48, 40};
constexpr std::int32_t kOutline = 2;

// Where level k's pixels lie in a file that has a level table.
std::size_t LevelStart(const Bytes& bytes, std::size_t k) {
    ByteReader reader(bytes);
    reader.Seek(32 + 8 * k);
    return 32 + reader.U32le();
}

std::string Describe(const TextureFile& file, const std::string& name) {
    const auto& levels = file.texture.levels;
    return name + " (" + std::to_string(file.texture.depth == 4 ? 16 : 256) + " colours, " +
           std::to_string(levels.size()) + " levels " + std::to_string(levels.front().width) + "x" +
           std::to_string(levels.front().height) + " down to " +
           std::to_string(levels.back().width) + "x" + std::to_string(levels.back().height) + ")";
}

// The lines that the extraction must have written for a file: its level paths, "NULL" for the
// levels of 16 pixels or less.
TextLines ExpectedLines(const TextureFile& file, const std::string& target) {
    TextLines lines = {"#Format: BTE", "#Source: " + file.path};
    const std::string name = FileNamePart(file.path);
    const std::string stem = name.substr(0, name.find('.'));
    for (std::size_t k = 0; k < file.texture.levels.size(); ++k) {
        const auto& level = file.texture.levels[k];
        const std::string levelName =
            stem + "_mip_" + HexIndex(static_cast<std::uint32_t>(k), 2) + ".bmp";
        lines.push_back(level.width <= 16 || level.height <= 16 ? "NULL"
                                                                : JoinPath(target, levelName));
    }
    return lines;
}

// Whether every extracted level named by the lines after the framing holds the texture's
// pixels (4-bit: left pixel in the high nibble of the BMP, in the low nibble of the texture).
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
                const std::size_t at =
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(level.width) +
                    static_cast<std::size_t>(x);
                const std::uint32_t expected =
                    file.texture.depth == 8
                        ? level.linear[at]
                        : (level.linear[at / 2] >> (x % 2 == 0 ? 0 : 4)) & 0x0Fu;
                if (bitmap.PixelValue(x, y) != expected) {
                    return false;
                }
            }
        }
    }
    return true;
}

// Draws the box in the bitmap's own colours: yellow inside, an outline of palette index 0.
void DrawBox(Bitmap& bitmap) {
    const std::uint32_t fill = bitmap.NearestIndex(Rgb{255, 230, 0});
    for (std::int32_t y = kBox.top; y < kBox.bottom; ++y) {
        for (std::int32_t x = kBox.left; x < kBox.right; ++x) {
            const bool outline = x < kBox.left + kOutline || x >= kBox.right - kOutline ||
                                 y < kBox.top + kOutline || y >= kBox.bottom - kOutline;
            bitmap.SetPixelValue(x, y, outline ? 0 : fill);
        }
    }
}

class TextureSection final : public DemoSection {
public:
    using DemoSection::DemoSection;

    StepOutcome Make() override {
        MakeDirectory(At("game"));
        m_title = {At("game/title.bmpx"), samples::MakeSampleTexture(8, 256, 8, 77), {}};
        m_icons = {At("game/icons.tgax"), samples::MakeSampleTexture(4, 128, 8, 78), {}};
        for (TextureFile* file : {&m_title, &m_icons}) {
            file->bytes = samples::BuildExtendedImage(file->texture);
            WriteWholeFile(file->path, file->bytes);
        }
        return Done("made " + Describe(m_title, Shown(m_title.path)) + " and " +
                    Describe(m_icons, Shown(m_icons.path)) +
                    ", each level the same picture of rings, a cross and a frame");
    }

    StepOutcome Extract() override {
        const FormRun extraction = RunForm(2, {m_title.path, m_icons.path}, kLevels);
        m_titleLines = ExpectedLines(m_title, At(kLevels));
        m_iconLines = ExpectedLines(m_icons, At(kLevels));
        TextLines expected = m_titleLines;
        expected.insert(expected.end(), m_iconLines.begin(), m_iconLines.end());
        if (std::string problem = ResultsProblem("extraction", extraction); !problem.empty()) {
            return Failed(problem);
        }
        if (LoadTextLines(At(kLog)) != expected) {
            return Failed("result.log does not list the levels as expected");
        }
        if (!LevelsMatch(m_title, m_titleLines) || !LevelsMatch(m_icons, m_iconLines)) {
            return Failed("an extracted level does not hold the texture's pixels");
        }
        return Done("extracted " + std::to_string(extraction.stats.pieces) +
                    " levels as indexed BMP files into " + Shown(At(kLevels)) +
                    "/ (levels of 16 pixels or less are NULL lines), unswizzled pixels checked");
    }

    // Title level 1 gets a box and a new colour for palette entry 0; icons level 0 is replaced
    // by a 256-colour bitmap, icons level 1 by one of the wrong size.
    StepOutcome Edit() override {
        const std::string& titleLevel = m_titleLines[3];
        m_edited = Bitmap::LoadFromFile(titleLevel);
        DrawBox(m_edited);
        std::vector<Rgb> palette = m_edited.Palette();
        palette[0] = Rgb{255, 0, 255};
        m_edited.SetPalette(palette);
        m_edited.SaveToFile(titleLevel);
        const std::string& iconDepth = m_iconLines[2];
        const std::string& iconSize = m_iconLines[3];
        Bitmap wrongDepth;
        wrongDepth.SetPixelFormat(pf8bit);
        wrongDepth.SetSize(m_icons.texture.levels[0].width, m_icons.texture.levels[0].height);
        wrongDepth.SaveToFile(iconDepth);
        Bitmap wrongSize;
        wrongSize.SetPixelFormat(pf4bit);
        wrongSize.SetSize(m_icons.texture.levels[1].width, m_icons.texture.levels[1].height / 2);
        wrongSize.SaveToFile(iconSize);
        m_refusals = {iconDepth + " not 4 bit!", iconSize + " has invalid size!"};
        return Done("edited " + Shown(titleLevel) + " (a yellow " + std::to_string(kBox.Width()) +
                    "x" + std::to_string(kBox.Height()) +
                    " box drawn in, palette entry 0 made magenta), replaced " + Shown(iconDepth) +
                    " by a 256-colour bitmap and " + Shown(iconSize) +
                    " by one of half its height");
    }

    StepOutcome Insert() override {
        const FormRun insertion = RunForm(5, {At(kLog)}, kPatched);
        if (std::string problem = ResultsProblem("insertion", insertion, m_refusals);
            !problem.empty()) {
            return Failed(problem);
        }
        return Done("inserted " + Shown(At(kLog)) + " into " + Shown(At(kPatched)) + "/: \"" +
                    Shown(m_refusals[0]) + "\", \"" + Shown(m_refusals[1]) + "\"");
    }

    // The title copy differs from its source exactly by the edited level in the stored layout;
    // the icons copy equals its source.
    StepOutcome Check() override {
        Bytes expectedTitle = m_title.bytes;
        const auto& level1 = m_title.texture.levels[1];
        Bytes linear(static_cast<std::size_t>(level1.width) *
                     static_cast<std::size_t>(level1.height));
        for (std::int32_t y = 0; y < level1.height; ++y) {
            std::copy_n(m_edited.ScanLine(y), level1.width,
                        linear.begin() + static_cast<std::ptrdiff_t>(y) * level1.width);
        }
        SwizzleImage8(level1.width, level1.height, linear.data(),
                      expectedTitle.data() + LevelStart(m_title.bytes, 1));
        if (ReadWholeFile(At("patched/title.bmpx")) != expectedTitle) {
            return Failed("patched/title.bmpx is not the source with the edited level swizzled in");
        }
        if (ReadWholeFile(At("patched/icons.tgax")) != m_icons.bytes) {
            return Failed(
                "patched/icons.tgax differs from its source although both edits were refused");
        }
        if (ReadWholeFile(m_title.path) != m_title.bytes) {
            return Failed("the source texture changed");
        }
        return Done("checked the patched copies: title.bmpx holds the edited level in the stored "
                    "layout and its palette bytes unchanged, icons.tgax equals its source, the "
                    "sources are untouched");
    }

private:
    // Below the section's directory: the extracted levels with their result log, and the
    // patched copies.
    static constexpr std::string_view kLevels = "levels";
    static constexpr std::string_view kLog = "levels/result.log";
    static constexpr std::string_view kPatched = "patched";

    // The textures as made, and the lines their extraction must write.
    TextureFile m_title;
    TextureFile m_icons;
    TextLines m_titleLines;
    TextLines m_iconLines;
    // The edited level as saved, and the refusals the insertion must report.
    Bitmap m_edited;
    std::vector<std::string> m_refusals;
};

} // namespace

std::unique_ptr<DemoSection> MakeTextureSection(const DemoContext& demo, const std::string& base) {
    return std::make_unique<TextureSection>(demo, base);
}

} // namespace eitool::demo
