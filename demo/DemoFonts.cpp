// The font section of `eitool demo`: a sample font and its sheet are extracted into a glyph
// strip, a strip with new glyphs for a few codes from 192 on is inserted with a character table
// and a placement line, and the new slots and sheet pixels are checked.
#include <cmath>

#include "demo/DemoSupport.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "formats/Font.h"
#include "images/Bitmap.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"

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
            static_cast<float>(r.left / width), static_cast<float>(r.top / height),
            static_cast<float>(r.right / width), static_cast<float>(r.bottom / height),
            static_cast<float>(r.Width() + 10), static_cast<float>(r.Height() + 14)};
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
                    const Rgb colour =
                        strip.PixelColor(p.box.Left - kMargin + (x - r.left), p.box.Top + (y - r.top));
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

} // namespace

bool RunFontSection(DemoContext& demo) {
    const std::string base = JoinPath(demo.root, "font");
    const std::string gameDir = JoinPath(base, "game");
    const std::string stripDir = JoinPath(base, "strip");
    const std::string workDir = JoinPath(base, "work");
    const std::string patchedDir = JoinPath(base, "patched");
    bool passed = true;
    auto fail = [&](double seconds, const std::string& what) {
        ReportStep(demo, seconds, "FAILED: " + what);
        passed = false;
    };
    demo.host->Report("Font cycle in " + base + "\n");

    // Make.
    auto start = Clock::now();
    for (const std::string& directory : {gameDir, workDir}) {
        if (!CreateDirectories(directory)) {
            throw FileCreateError(directory, "cannot create directory");
        }
    }
    const samples::SampleFont font = samples::MakeSampleFont();
    const Bytes fontBytes = samples::BuildFont(font.tables);
    const std::string fontPath = JoinPath(gameDir, "font_main.fnt");
    const std::string sheetName = SheetFileName(font.tables.textureName);
    WriteWholeFile(fontPath, fontBytes);
    font.sheet.SaveToFile(JoinPath(gameDir, sheetName));
    ReportStep(demo, SecondsSince(start),
               "made " + RelativeTo(fontPath, base) + " (" + std::to_string(font.tables.glyphs.size()) +
                   " glyphs, texture " + font.tables.textureName + ") and its sheet " +
                   RelativeTo(JoinPath(gameDir, sheetName), base) + " (" +
                   std::to_string(font.sheet.Width()) + "x" + std::to_string(font.sheet.Height()) +
                   ", 256 colours)");

    // Extract the glyph strip.
    start = Clock::now();
    const FormRun extraction = RunThroughForm(demo, 3, {fontPath}, stripDir);
    double seconds = SecondsSince(start);
    const std::string stripPath = JoinPath(stripDir, sheetName);
    const TextLines log = LoadTextLines(JoinPath(stripDir, "result.log"));
    if (!extraction.results.empty()) {
        fail(seconds, "extraction reported: " + extraction.results.front());
    } else if (log != TextLines{"#Format: FNT", "#Source: " + fontPath, stripPath}) {
        fail(seconds, "result.log does not name the strip");
    } else {
        const Bitmap strip = Bitmap::LoadFromFile(stripPath);
        std::vector<GlyphBox> boxes;
        if (FindGlyphBoxes(strip, boxes) != static_cast<std::int32_t>(font.tables.glyphs.size())) {
            fail(seconds, "the strip does not hold one marked band per glyph");
        } else {
            ReportStep(demo, seconds, "extracted the glyph strip " + RelativeTo(stripPath, base) + " (" +
                                    std::to_string(strip.Width()) + "x" +
                                    std::to_string(strip.Height()) + ", " +
                                    std::to_string(boxes.size()) + " marked bands)");
        }
    }
    if (!passed) {
        return false;
    }

    // Draw new glyphs and write the log block that inserts them.
    start = Clock::now();
    const Bitmap newStrip = samples::MakeGlyphStrip(kNewCodes, kNewGlyphHeight, pf24bit);
    const std::string newStripPath = JoinPath(workDir, "new_glyphs.bmp");
    const std::string tablePath = JoinPath(workDir, "chars.tbl");
    const std::string logPath = JoinPath(workDir, "font.log");
    newStrip.SaveToFile(newStripPath);
    WriteWholeFile(tablePath, samples::MakeCharacterTable(kNewCodes));
    const std::string placement = std::to_string(kStartX) + ":" + std::to_string(kStartY) + ":0:" +
                                  std::to_string(kMargin) + ":" + std::to_string(kMargin);
    SaveTextLines(logPath, {"#Format: FNT", "#Source: " + fontPath, tablePath, placement,
                            newStripPath});
    ReportStep(demo, SecondsSince(start), "drew a 24-bit strip with glyphs for the codes 192, 193, 200 "
                                    "and 233 and wrote " + RelativeTo(logPath, base) +
                                    " with the placement line " + placement);

    // Insert into a patched font and sheet.
    start = Clock::now();
    const FormRun insertion = RunThroughForm(demo, 5, {logPath}, patchedDir);
    seconds = SecondsSince(start);
    if (!insertion.results.empty()) {
        fail(seconds, "insertion reported: " + insertion.results.front());
    } else {
        ReportStep(demo, seconds, "inserted " + RelativeTo(logPath, base) + ": " +
                                RelativeTo(JoinPath(patchedDir, "font_main.fnt"), base) + " and " +
                                RelativeTo(JoinPath(patchedDir, sheetName), base) + " written");
    }
    if (!passed) {
        return false;
    }

    // Check the slots and the sheet.
    start = Clock::now();
    const std::vector<Placement> placed = ExpectedPlacements(newStrip);
    const Bytes patchedFont = ReadWholeFile(JoinPath(patchedDir, "font_main.fnt"));
    const Bitmap patchedSheet = Bitmap::LoadFromFile(JoinPath(patchedDir, sheetName));
    std::string problem = CheckFont(fontBytes, patchedFont, placed, font.sheet);
    if (problem.empty()) {
        problem = CheckSheet(font.sheet, patchedSheet, newStrip, placed);
    }
    if (problem.empty() && ReadWholeFile(fontPath) != fontBytes) {
        problem = "the source font changed";
    }
    seconds = SecondsSince(start);
    if (!problem.empty()) {
        fail(seconds, problem);
    } else {
        ReportStep(demo, seconds, "checked slots 128 to 131 (coordinates and cell sizes of the 4 new "
                            "glyphs placed from x 0, y 192), every other slot unchanged, and every "
                            "sheet pixel");
    }
    return passed;
}

} // namespace eitool::demo
