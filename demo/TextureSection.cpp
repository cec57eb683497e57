// The texture section of `eitool demo`: a 256-colour and a 16-colour extended image with mipmaps
// are extracted, a box is drawn into one level (and its palette changed), a stripe into another,
// which is saved with its palette reordered as image editors do, two levels are replaced by
// bitmaps that must be refused, and the patched copies are checked byte for byte and by their
// colours after a second extraction.
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

// The stripe that the editor draws: across the level, in the palette's white.
constexpr Rect kStripe{0, 100, 256, 116};

// The level saved as an image editor saves it: the same colours, its palette sorted by
// brightness (darkest first), the indices following their colours.
Bitmap AsAnEditorSavesIt(const Bitmap& level) {
    const std::vector<Rgb> palette = level.Palette();
    std::vector<std::uint32_t> order(palette.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    auto brightness = [&](std::uint32_t i) {
        return palette[i].r * 3 + palette[i].g * 6 + palette[i].b;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return brightness(a) < brightness(b);
    });
    std::vector<Rgb> sorted(palette.size());
    std::vector<std::uint32_t> newIndex(palette.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        sorted[i] = palette[order[i]];
        newIndex[order[i]] = i;
    }
    Bitmap saved = level;
    saved.SetPalette(sorted);
    for (std::int32_t y = 0; y < level.Height(); ++y) {
        for (std::int32_t x = 0; x < level.Width(); ++x) {
            saved.SetPixelValue(x, y, newIndex[level.PixelValue(x, y)]);
        }
    }
    return saved;
}

// Whether every pixel of two pictures of one size shows the same colour.
bool SameColours(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) {
        return false;
    }
    for (std::int32_t y = 0; y < a.Height(); ++y) {
        for (std::int32_t x = 0; x < a.Width(); ++x) {
            if (a.PixelColor(x, y) != b.PixelColor(x, y)) {
                return false;
            }
        }
    }
    return true;
}

// The pixels of an 8-bit bitmap, rows top first, without row padding.
Bytes LinearPixels(const Bitmap& bitmap) {
    Bytes linear(static_cast<std::size_t>(bitmap.Width()) *
                 static_cast<std::size_t>(bitmap.Height()));
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        std::copy_n(bitmap.ScanLine(y), bitmap.Width(),
                    linear.begin() + static_cast<std::ptrdiff_t>(y) * bitmap.Width());
    }
    return linear;
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

    // Title level 0 gets a stripe and is saved with a reordered palette; title level 1 gets a
    // box and a new colour for palette entry 0; icons level 0 is replaced by a 256-colour bitmap
    // in a colour the icons' palette lacks, icons level 1 by one of the wrong size.
    StepOutcome Edit() override {
        const std::string& stripeLevel = m_titleLines[2];
        m_striped = Bitmap::LoadFromFile(stripeLevel);
        m_striped.FillRect(kStripe, Rgb{255, 255, 255});
        const Bitmap saved = AsAnEditorSavesIt(m_striped);
        saved.SaveToFile(stripeLevel);
        if (saved.Palette() == m_striped.Palette()) {
            return Failed("the editor's palette has the order of the extracted one");
        }
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
        wrongDepth.SetPalette({Rgb{255, 0, 255}});
        wrongDepth.SetSize(m_icons.texture.levels[0].width, m_icons.texture.levels[0].height);
        wrongDepth.SaveToFile(iconDepth);
        Bitmap wrongSize;
        wrongSize.SetPixelFormat(pf4bit);
        wrongSize.SetSize(m_icons.texture.levels[1].width, m_icons.texture.levels[1].height / 2);
        wrongSize.SaveToFile(iconSize);
        m_refusals = {iconDepth + " not 4 bit!", iconSize + " has invalid size!"};
        return Done("edited " + Shown(stripeLevel) + " (a white stripe, saved with the palette " +
                    "sorted by brightness as an editor saves it), " + Shown(titleLevel) +
                    " (a yellow " + std::to_string(kBox.Width()) + "x" +
                    std::to_string(kBox.Height()) +
                    " box drawn in, palette entry 0 made magenta), replaced " + Shown(iconDepth) +
                    " by a magenta 256-colour bitmap and " + Shown(iconSize) +
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

    // The title copy differs from its source exactly by the two edited levels in the stored
    // layout, the reordered one in the texture's own indices; the icons copy equals its source.
    // Extracted again, the reordered level shows the colours the editor showed.
    StepOutcome Check() override {
        Bytes expectedTitle = m_title.bytes;
        for (const auto& [k, edited] : {std::pair<std::size_t, const Bitmap*>{0, &m_striped},
                                        std::pair<std::size_t, const Bitmap*>{1, &m_edited}}) {
            const Bytes linear = LinearPixels(*edited);
            SwizzleImage8(edited->Width(), edited->Height(), linear.data(),
                          expectedTitle.data() + LevelStart(m_title.bytes, k));
        }
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
        const FormRun again = RunForm(2, {At("patched/title.bmpx")}, kAgain);
        if (std::string problem = ResultsProblem("second extraction", again); !problem.empty()) {
            return Failed(problem);
        }
        if (!SameColours(Bitmap::LoadFromFile(At("again/title_mip_00.bmp")), m_striped)) {
            return Failed("again/title_mip_00.bmp does not show the colours of the reordered edit");
        }
        return Done("checked the patched copies: title.bmpx holds the edited levels in the stored "
                    "layout (the reordered one by its colours) and its palette bytes unchanged, "
                    "icons.tgax equals its source, the sources are untouched; extracted again "
                    "into " +
                    Shown(At(kAgain)) + "/, the reordered level shows the editor's colours");
    }

private:
    // Below the section's directory: the extracted levels with their result log, and the
    // patched copies.
    static constexpr std::string_view kLevels = "levels";
    static constexpr std::string_view kLog = "levels/result.log";
    static constexpr std::string_view kPatched = "patched";
    static constexpr std::string_view kAgain = "again";

    // The textures as made, and the lines their extraction must write.
    TextureFile m_title;
    TextureFile m_icons;
    TextLines m_titleLines;
    TextLines m_iconLines;
    // The edited levels as the user sees them, and the refusals the insertion must report.
    Bitmap m_striped;
    Bitmap m_edited;
    std::vector<std::string> m_refusals;
};

} // namespace

std::unique_ptr<DemoSection> MakeTextureSection(const DemoContext& demo, const std::string& base) {
    return std::make_unique<TextureSection>(demo, base);
}

} // namespace eitool::demo
