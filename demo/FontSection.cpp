// The font section of `eitool demo`: a sample font and its sheet are extracted into a glyph
// strip, a strip with new glyphs for a few codes from 192 on is inserted with a character table
// and a placement line, and the new slots and sheet pixels are checked.
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "demo/DemoSection.h"
#include "formats/Font.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"

#include <cmath>

namespace eitool::demo {

namespace {

// The new codes: À, Á, È and é in the usual Western code page.
const std::vector<int> kNewCodes = {192, 193, 200, 233};
constexpr std::int32_t kNewGlyphHeight = 16;
constexpr std::int32_t kStartX = 0;
constexpr std::int32_t kStartY = 192;
constexpr std::int32_t kMargin = 1;

// Where each new glyph must land: the boxes of the flagged bands, widened by the margins and
// packed side by side from the start of the placement line (they all fit in one row here).
struct Placement {
    GlyphBox box;
    Rect onSheet;
};

std::vector<Placement> ExpectedPlacements(const Bitmap& strip) {
    std::vector<GlyphBox> boxes;
    FindGlyphBoxes(strip, boxes);
    std::vector<Placement> placements;
    std::int32_t x = kStartX;
    for (const int code : kNewCodes) {
        const GlyphBox& box = boxes.at(static_cast<std::size_t>(code - 192));
        const std::int32_t w = box.Right - box.Left + 2 * kMargin;
        const std::int32_t h = box.Bottom - box.Top;
        placements.push_back({box, Rect{x, kStartY, x + w, kStartY + h}});
        x += w;
    }
    return placements;
}

std::string CheckFont(const Bytes& before, const Bytes& after, const std::vector<Placement>& placed,
                      const Bitmap& sheet) {
    if (before.size() != after.size()) {
        return "the font changed its length";
    }
    const double width = sheet.Width();
    const double height = sheet.Height();
    for (std::uint32_t slot = 0; slot < 192; ++slot) {
        const samples::FontGlyph glyph = samples::ReadFontGlyph(after, slot);
        if (slot < 128 || slot >= 128 + placed.size()) {
            if (!(glyph == samples::ReadFontGlyph(before, slot))) {
                return "slot " + std::to_string(slot) + " changed";
            }
            continue;
        }
        const Rect& r = placed[slot - 128].onSheet;
        const samples::FontGlyph expected{
            static_cast<float>(r.left / width),  static_cast<float>(r.top / height),
            static_cast<float>(r.right / width), static_cast<float>(r.bottom / height),
            static_cast<float>(r.Width() + 10),  static_cast<float>(r.Height() + 14)};
        if (!(glyph == expected)) {
            return "slot " + std::to_string(slot) + " does not hold the placed glyph";
        }
    }
    return {};
}

// Inside the placed rectangles the sheet shows the strip's pixels (matched to the sheet's
// palette); everywhere else it is unchanged.
std::string CheckSheet(const Bitmap& before, const Bitmap& after, const Bitmap& strip,
                       const std::vector<Placement>& placed) {
    if (after.Width() != before.Width() || after.Height() != before.Height() ||
        after.Format() != before.Format()) {
        return "the sheet changed its size or format";
    }
    for (std::int32_t y = 0; y < after.Height(); ++y) {
        for (std::int32_t x = 0; x < after.Width(); ++x) {
            Rgb expected = before.PixelColor(x, y);
            for (const Placement& p : placed) {
                const Rect& r = p.onSheet;
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                    const Rgb colour = strip.PixelColor(p.box.Left - kMargin + (x - r.left),
                                                        p.box.Top + (y - r.top));
                    expected = before.Palette()[before.NearestIndex(colour)];
                }
            }
            if (!(after.PixelColor(x, y) == expected)) {
                return "sheet pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                       ") is not what the insertion should have put there";
            }
        }
    }
    return {};
}

class FontSection final : public DemoSection {
public:
    using DemoSection::DemoSection;

    StepOutcome Make() override {
        MakeDirectory(DirectoryPart(At(kFont)));
        MakeDirectory(DirectoryPart(At(kLog)));
        m_font = samples::MakeSampleFont();
        m_fontBytes = samples::BuildFont(m_font.tables);
        m_sheetName = SheetFileName(m_font.tables.textureName);
        WriteWholeFile(At(kFont), m_fontBytes);
        m_font.sheet.SaveToFile(At("game/" + m_sheetName));
        return Done("made " + Shown(At(kFont)) + " (" +
                    std::to_string(m_font.tables.glyphs.size()) + " glyphs, texture " +
                    m_font.tables.textureName + ") and its sheet " +
                    Shown(At("game/" + m_sheetName)) + " (" + std::to_string(m_font.sheet.Width()) +
                    "x" + std::to_string(m_font.sheet.Height()) + ", 256 colours)");
    }

    // The glyph strip.
    StepOutcome Extract() override {
        const FormRun extraction = RunForm(3, {At(kFont)}, kStrip);
        const std::string stripPath = JoinPath(At(kStrip), m_sheetName);
        if (std::string problem = ResultsProblem("extraction", extraction); !problem.empty()) {
            return Failed(problem);
        }
        if (LoadTextLines(At("strip/result.log")) !=
            TextLines{"#Format: FNT", "#Source: " + At(kFont), stripPath}) {
            return Failed("result.log does not name the strip");
        }
        const Bitmap strip = Bitmap::LoadFromFile(stripPath);
        std::vector<GlyphBox> boxes;
        if (FindGlyphBoxes(strip, boxes) !=
            static_cast<std::int32_t>(m_font.tables.glyphs.size())) {
            return Failed("the strip does not hold one marked band per glyph");
        }
        return Done("extracted the glyph strip " + Shown(stripPath) + " (" +
                    std::to_string(strip.Width()) + "x" + std::to_string(strip.Height()) + ", " +
                    std::to_string(boxes.size()) + " marked bands)");
    }

    // New glyphs in a strip of their own, and the log block that inserts them.
    StepOutcome Edit() override {
        m_newStrip = samples::MakeGlyphStrip(kNewCodes, kNewGlyphHeight, pf24bit);
        const std::string newStripPath = At("work/new_glyphs.bmp");
        const std::string tablePath = At("work/chars.tbl");
        m_newStrip.SaveToFile(newStripPath);
        WriteWholeFile(tablePath, samples::MakeCharacterTable(kNewCodes));
        const std::string placement = std::to_string(kStartX) + ":" + std::to_string(kStartY) +
                                      ":0:" + std::to_string(kMargin) + ":" +
                                      std::to_string(kMargin);
        SaveTextLines(At(kLog), {"#Format: FNT", "#Source: " + At(kFont), tablePath, placement,
                                 newStripPath});
        return Done("drew a 24-bit strip with glyphs for the codes 192, 193, 200 and 233 and "
                    "wrote " +
                    Shown(At(kLog)) + " with the placement line " + placement);
    }

    // Into a patched font and sheet.
    StepOutcome Insert() override {
        const FormRun insertion = RunForm(5, {At(kLog)}, kPatched);
        if (std::string problem = ResultsProblem("insertion", insertion); !problem.empty()) {
            return Failed(problem);
        }
        return Done("inserted " + Shown(At(kLog)) + ": " + Shown(At("patched/font_main.fnt")) +
                    " and " + Shown(JoinPath(At(kPatched), m_sheetName)) + " written");
    }

    // The slots and the sheet.
    StepOutcome Check() override {
        const std::vector<Placement> placed = ExpectedPlacements(m_newStrip);
        const Bytes patchedFont = ReadWholeFile(At("patched/font_main.fnt"));
        const Bitmap patchedSheet = Bitmap::LoadFromFile(JoinPath(At(kPatched), m_sheetName));
        std::string problem = CheckFont(m_fontBytes, patchedFont, placed, m_font.sheet);
        if (problem.empty()) {
            problem = CheckSheet(m_font.sheet, patchedSheet, m_newStrip, placed);
        }
        if (problem.empty() && ReadWholeFile(At(kFont)) != m_fontBytes) {
            problem = "the source font changed";
        }
        if (!problem.empty()) {
            return Failed(problem);
        }
        return Done("checked slots 128 to 131 (coordinates and cell sizes of the 4 new glyphs "
                    "placed from x 0, y 192), every other slot unchanged, and every sheet pixel");
    }

private:
    // Below the section's directory: the game's font (its sheet beside it), the extracted strip,
    // the new glyphs with their log, and the patched font and sheet.
    static constexpr std::string_view kFont = "game/font_main.fnt";
    static constexpr std::string_view kStrip = "strip";
    static constexpr std::string_view kLog = "work/font.log";
    static constexpr std::string_view kPatched = "patched";

    samples::SampleFont m_font;
    Bytes m_fontBytes;
    std::string m_sheetName;
    Bitmap m_newStrip;
};

} // namespace

std::unique_ptr<DemoSection> MakeFontSection(const DemoContext& demo, const std::string& base) {
    return std::make_unique<FontSection>(demo, base);
}

} // namespace eitool::demo
