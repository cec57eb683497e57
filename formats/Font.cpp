#include "formats/Font.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "run/HandlerSupport.h"
#include "run/PieceChecks.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

namespace eitool {

// Font file (little-endian, offsets counted from the start of the file):
//   44  i32  offset of the cell table
//   48  i32  length of the cell table in bytes; the glyph count N is this length shifted right
//            by 3
//   68  i32  offset of the coordinate table
//   92  i32  offset of the texture name
//   every other byte is not interpreted and is written back unchanged
// Cell table: N entries of 8 bytes, f32 cell width and f32 cell height.
// Coordinate table: N entries of 16 bytes, f32 left, top, right and bottom, each a fraction of
// the sheet's width (left, right) or height (top, bottom).
// Texture name: 8-bit text ended by a NUL byte; only its file-name part is used.

namespace {

constexpr std::uint64_t kCellOffsetField = 44;
constexpr std::uint64_t kCellLengthField = 48;
constexpr std::uint64_t kCoordOffsetField = 68;
constexpr std::uint64_t kNameOffsetField = 92;
constexpr std::uint64_t kCellEntrySize = 8;
constexpr std::uint64_t kCoordEntrySize = 16;

// Strip layout: glyphs start at column 4; a band is the glyph height plus 20 rows; the strip is
// 50 columns wider than the widest glyph.
constexpr std::int64_t kStripGlyphColumn = 4;
constexpr std::int64_t kStripBandGap = 20;
constexpr std::int64_t kStripExtraWidth = 50;

// Insertion: the codes 192 to 255 go into slots 128 onward; a cell is the glyph plus 10 columns
// and 14 rows.
constexpr int kFirstNewCode = 192;
constexpr int kNewCodeCount = 64;
constexpr std::uint32_t kFirstNewSlot = 128;
constexpr std::size_t kCharacterTableSize = 256;
constexpr std::int64_t kCellExtraWidth = 10;
constexpr std::int64_t kCellExtraHeight = 14;

// Positions far outside any bitmap are held at this distance, so that sums stay exact in 64 bits.
constexpr double kFarAway = 1099511627776.0; // 2^40

const Rgb kWhite{255, 255, 255};

struct FontHeader {
    std::uint64_t cellOffset = 0;
    std::uint64_t coordOffset = 0;
    std::uint32_t glyphCount = 0;
    std::string textureName;
};

struct GlyphCoords {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
};

// A glyph's rectangle on the sheet in pixels; w or h may be negative for a damaged entry.
struct SheetRect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t w = 0;
    std::int64_t h = 0;
};

// The header, when its offsets and glyph count keep both tables and the NUL-ended texture name
// inside the file.
std::optional<FontHeader> ReadFontHeader(std::span<const std::uint8_t> font) {
    try {
        ByteReader reader(font);
        reader.Seek(kCellOffsetField);
        const auto cellOffset = static_cast<std::int32_t>(reader.U32le());
        reader.Seek(kCellLengthField);
        const auto cellLength = static_cast<std::int32_t>(reader.U32le());
        reader.Seek(kCoordOffsetField);
        const auto coordOffset = static_cast<std::int32_t>(reader.U32le());
        reader.Seek(kNameOffsetField);
        const auto nameOffset = static_cast<std::int32_t>(reader.U32le());
        if (cellOffset < 0 || cellLength < 0 || coordOffset < 0 || nameOffset < 0) {
            return std::nullopt;
        }
        FontHeader header;
        header.cellOffset = static_cast<std::uint64_t>(cellOffset);
        header.coordOffset = static_cast<std::uint64_t>(coordOffset);
        header.glyphCount = static_cast<std::uint32_t>(cellLength) >> 3;
        if (!RangeFits(header.cellOffset, kCellEntrySize * header.glyphCount, font.size()) ||
            !RangeFits(header.coordOffset, kCoordEntrySize * header.glyphCount, font.size())) {
            return std::nullopt;
        }
        reader.Seek(static_cast<std::uint64_t>(nameOffset));
        header.textureName = reader.NulTerminated(reader.Remaining());
        return header;
    } catch (const OutOfBounds&) {
        return std::nullopt;
    }
}

// The caller has checked the table against the file.
GlyphCoords ReadCoords(std::span<const std::uint8_t> font, const FontHeader& header,
                       std::uint32_t index) {
    ByteReader entry =
        ByteReader(font).Sub(header.coordOffset + kCoordEntrySize * index, kCoordEntrySize);
    GlyphCoords coords;
    coords.left = entry.F32le();
    coords.top = entry.F32le();
    coords.right = entry.F32le();
    coords.bottom = entry.F32le();
    return coords;
}

std::int64_t Truncate(double value) {
    return static_cast<std::int64_t>(std::clamp(std::trunc(value), -kFarAway, kFarAway));
}

// Each size is the difference of the two products (not the sheet size times the difference of
// the fractions), formed in double and truncated toward zero; so are the positions. An entry
// that is not finite, or whose glyph is wider or taller than the sheet itself, gives nothing.
std::optional<SheetRect> GlyphRectOnSheet(std::int32_t sheetWidth, std::int32_t sheetHeight,
                                          const GlyphCoords& coords) {
    const double width = sheetWidth;
    const double height = sheetHeight;
    const double x0 = width * coords.left;
    const double x1 = width * coords.right;
    const double y0 = height * coords.top;
    const double y1 = height * coords.bottom;
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) {
        return std::nullopt;
    }
    SheetRect rect{Truncate(x0), Truncate(y0), Truncate(x1 - x0), Truncate(y1 - y0)};
    if (rect.w > sheetWidth || rect.h > sheetHeight) {
        return std::nullopt;
    }
    return rect;
}

std::string SheetPathOf(const std::string& fontPath, const FontHeader& header) {
    return DirectoryPart(fontPath) + SheetFileName(header.textureName);
}

Bitmap LoadSheet(const std::string& fontPath, const std::string& sheetPath) {
    if (!FileExists(sheetPath)) {
        throw FileOpenError(sheetPath, "the glyph sheet of " + FileNamePart(fontPath) +
                                           " is not there; it is expected beside the font");
    }
    return Bitmap::LoadFromFile(sheetPath);
}

// Copies a w x h block at (sx, sy) of source to (dx, dy) of dest, leaving out whatever lies
// outside either bitmap.
void CopyBlock(Bitmap& dest, std::int64_t dx, std::int64_t dy, const Bitmap& source,
               std::int64_t sx, std::int64_t sy, std::int64_t w, std::int64_t h) {
    const std::int64_t fromX = std::max<std::int64_t>({0, -dx, -sx});
    const std::int64_t fromY = std::max<std::int64_t>({0, -dy, -sy});
    const std::int64_t toX = std::min<std::int64_t>({w, dest.Width() - dx, source.Width() - sx});
    const std::int64_t toY = std::min<std::int64_t>({h, dest.Height() - dy, source.Height() - sy});
    if (fromX >= toX || fromY >= toY) {
        return;
    }
    const Rect destRect{static_cast<std::int32_t>(dx + fromX),
                        static_cast<std::int32_t>(dy + fromY), static_cast<std::int32_t>(dx + toX),
                        static_cast<std::int32_t>(dy + toY)};
    const Rect sourceRect{static_cast<std::int32_t>(sx + fromX),
                          static_cast<std::int32_t>(sy + fromY),
                          static_cast<std::int32_t>(sx + toX), static_cast<std::int32_t>(sy + toY)};
    dest.CopyRect(destRect, source, sourceRect);
}

// Sets every pixel to one raw value, the fourth byte of 32-bit pixels included.
void FillWithValue(Bitmap& bitmap, std::uint32_t value) {
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0) {
        return;
    }
    for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
        bitmap.SetPixelValue(x, 0, value);
    }
    for (std::int32_t y = 1; y < bitmap.Height(); ++y) {
        std::memcpy(bitmap.ScanLine(y), bitmap.ScanLine(0), bitmap.RowBytes());
    }
}

// ---- Insertion entry lines ------------------------------------------------------------------

struct Placement {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t rowHeight = 0;
    std::int64_t marginLeft = 0;
    std::int64_t marginRight = 0;
};

// The placement line is read like the pattern "%d:%d:%d:%d:%d": blanks may come before each
// number, and text after the fifth number is ignored. A number outside the 32-bit range does
// not count as one.
std::optional<std::array<std::int64_t, 5>> ParseFiveNumbers(std::string_view line) {
    std::array<std::int64_t, 5> numbers{};
    std::size_t at = 0;
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        if (k > 0) {
            if (at >= line.size() || line[at] != ':') {
                return std::nullopt;
            }
            ++at;
        }
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])) != 0) {
            ++at;
        }
        bool negative = false;
        if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
            negative = line[at] == '-';
            ++at;
        }
        const std::size_t digitsStart = at;
        std::int64_t value = 0;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
            value = value * 10 + (line[at] - '0');
            if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
                return std::nullopt;
            }
            ++at;
        }
        if (at == digitsStart) {
            return std::nullopt;
        }
        value = negative ? -value : value;
        if (value > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        numbers[k] = value;
    }
    return numbers;
}

// The first 256 bytes of the character table, or fewer when the file is shorter.
std::vector<std::uint8_t> ReadCharacterTable(const std::string& path) {
    FileStream file = FileStream::Open(path, omRead);
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), kCharacterTableSize));
    std::vector<std::uint8_t> table(length);
    file.ReadExact(table.data(), table.size());
    return table;
}

} // namespace

std::string SheetFileName(std::string_view textureName) {
    std::string name = GameNamePart(textureName);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name + ".bmp";
}

std::uint32_t PixelAt(const Bitmap& bitmap, std::int32_t x, std::int32_t y) {
    if (bitmap.Format() == pf32bit) {
        return bitmap.PixelValue(x, y);
    }
    const Rgb colour = bitmap.PixelColor(x, y);
    return (static_cast<std::uint32_t>(colour.r) << 16) |
           (static_cast<std::uint32_t>(colour.g) << 8) | colour.b;
}

// A band is a run of rows whose column-0 pixel differs from the background, the pixel at column 1
// of row 0; adjacent marked rows form one band whatever they hold. The box covers every pixel of
// the band from column 1 on that differs from the background, but always starts at the band's
// first row.
std::int32_t FindGlyphBoxes(const Bitmap& bitmap, std::vector<GlyphBox>& boxes) {
    boxes.clear();
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    if (width < 2 || height < 1) {
        return 0; // no background pixel to compare with
    }
    const std::uint32_t background = PixelAt(bitmap, 1, 0);
    std::int32_t y = 0;
    while (y < height) {
        GlyphBox box{width, y, 0, 0, 0};
        bool marked = false;
        bool inked = false;
        while (y < height && PixelAt(bitmap, 0, y) != background) {
            marked = true;
            for (std::int32_t x = 1; x < width; ++x) {
                if (PixelAt(bitmap, x, y) != background) {
                    box.Left = std::min(box.Left, x);
                    box.Right = std::max(box.Right, x);
                    inked = true;
                    box.Bottom = y;
                }
            }
            ++y;
        }
        if (marked) {
            if (inked) {
                box.Right += 1;
                box.Bottom += 1;
            } else {
                // An empty band keeps its place with a box of no columns over its marked rows.
                box.Left = 1;
                box.Right = 1;
                box.Bottom = y;
            }
            boxes.push_back(box);
        }
        ++y; // the row that ended the band is unmarked
    }
    return static_cast<std::int32_t>(boxes.size());
}

// ---- Extraction -----------------------------------------------------------------------------

namespace {

// Every glyph's rectangle on the sheet, with the widest width and the tallest height; nothing
// when a glyph is larger than the sheet.
struct SheetGlyphs {
    std::vector<SheetRect> rects;
    std::int64_t maxW = 0;
    std::int64_t maxH = 0;
};

std::optional<SheetGlyphs> GlyphsOnSheet(std::span<const std::uint8_t> font,
                                         const FontHeader& header, const Bitmap& sheet) {
    SheetGlyphs glyphs;
    glyphs.rects.reserve(header.glyphCount);
    for (std::uint32_t i = 0; i < header.glyphCount; ++i) {
        const std::optional<SheetRect> rect =
            GlyphRectOnSheet(sheet.Width(), sheet.Height(), ReadCoords(font, header, i));
        if (!rect) {
            return std::nullopt;
        }
        glyphs.maxW = std::max(glyphs.maxW, rect->w);
        glyphs.maxH = std::max(glyphs.maxH, rect->h);
        glyphs.rects.push_back(*rect);
    }
    return glyphs;
}

struct StripSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t bandHeight = 0;
    std::uint64_t fileBytes = 0; // the strip's BMP file: headers, palette and rows
};

// One band per glyph, maxH + 20 rows high, in a strip 50 columns wider than the widest glyph;
// nothing when its height does not fit a bitmap.
std::optional<StripSize> StripSizeFor(const SheetGlyphs& glyphs, PixelFormat format) {
    const std::int64_t bandHeight = glyphs.maxH + kStripBandGap;
    const auto width = static_cast<std::uint64_t>(glyphs.maxW + kStripExtraWidth);
    const std::uint64_t height = static_cast<std::uint64_t>(bandHeight) * glyphs.rects.size();
    if (height > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    // 14 + 40 header bytes, 12 bytes of masks at most and 256 palette entries at most.
    constexpr std::uint64_t kHeadersAtMost = 14 + 40 + 12 + 256 * 4;
    const std::uint64_t rows =
        (width * static_cast<std::uint64_t>(BitsPerPixel(format)) + 31) / 32 * 4 * height;
    return StripSize{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                     bandHeight, kHeadersAtMost + rows};
}

Bitmap DrawStrip(RunContext& run, const Bitmap& sheet, const SheetGlyphs& glyphs,
                 const StripSize& size) {
    Bitmap strip;
    strip.SetPixelFormat(sheet.Format());
    strip.SetPalette(sheet.Palette());
    strip.SetSize(size.width, size.height);
    // NOTE: the background takes the raw value of the sheet's top-left pixel rather than its
    // colour, so that the fourth byte of a 32-bit sheet matches the glyphs' own background.
    FillWithValue(strip, sheet.PixelValue(0, 0));

    const auto count = static_cast<std::uint64_t>(glyphs.rects.size());
    std::int64_t bandTop = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto top = static_cast<std::int32_t>(bandTop);
        strip.DrawLine(0, top, 0, static_cast<std::int32_t>(bandTop + glyphs.maxH), kWhite);
        const SheetRect& rect = glyphs.rects[i];
        CopyBlock(strip, kStripGlyphColumn, bandTop, sheet, rect.x, rect.y, rect.w, rect.h);
        bandTop += size.bandHeight;
        UpdateFileProgress(run.surface, static_cast<std::int32_t>(i * 100 / count));
    }
    return strip;
}

} // namespace

// The strip has one band per glyph, maxH + 20 rows high, marked in column 0 over its first maxH
// rows; the glyph sits at column 4 of its band's first row.
void ExtractFont(RunContext& run, const std::string& path) {
    const std::vector<std::uint8_t> font = ReadWholeFile(path);
    const std::optional<FontHeader> header = ReadFontHeader(font);
    if (!header) {
        run.surface.AddResultLine(path + " has invalid header!");
        return;
    }
    if (header->glyphCount == 0) {
        run.surface.AddResultLine(path + " has no glyphs!");
        return;
    }
    const std::string sheetPath = SheetPathOf(path, *header);
    const Bitmap sheet = LoadSheet(path, sheetPath);
    if (sheet.Width() <= 0 || sheet.Height() <= 0) {
        run.surface.AddResultLine(sheetPath + " has no pixels!");
        return;
    }
    ShowFileStatus(run, "Processing ", path);

    const std::optional<SheetGlyphs> glyphs = GlyphsOnSheet(font, *header, sheet);
    if (!glyphs) {
        run.surface.AddResultLine(path + " has glyphs larger than their sheet!");
        return;
    }
    const std::optional<StripSize> size = StripSizeFor(*glyphs, sheet.Format());
    if (!size) {
        run.surface.AddResultLine(path + " needs a glyph strip too large to make!");
        return;
    }
    // A few glyph rectangles may claim a strip far larger than the font and its sheet; the
    // strip is refused before it is allocated.
    const std::uint64_t sheetBytes =
        static_cast<std::uint64_t>(sheet.RowBytes()) * static_cast<std::uint64_t>(sheet.Height());
    if (!WithinOutputLimit(run, path, size->fileBytes, font.size() + sheetBytes)) {
        return;
    }
    const Bitmap strip = DrawStrip(run, sheet, *glyphs, *size);

    // NOTE: with the font's own directory as the target, the strip replaces the sheet, which
    // bears the same name.
    const std::string stripPath =
        JoinPath(run.state.TargetDirectory, SheetFileName(header->textureName));
    RefuseLineBreak(stripPath, "piece path");
    if (!ClaimPieces(run, path, {stripPath})) {
        run.state.ResultLog.emplace_back("NULL");
        return;
    }
    // A strip already there with the same bytes is left as it is; one that differs was edited.
    const bool exists = ExistingPieceSize(stripPath).has_value();
    if (!exists || !PieceHolds(stripPath, strip.SaveToBytes())) {
        if (exists) {
            AllowReplacingEdited(run, path, stripPath);
        }
        SetOldResultLogAside(run);
        strip.SaveToFile(stripPath, run.writeHook);
    }
    run.state.ResultLog.push_back(stripPath);
    ++run.state.stats.pieces;
    run.state.stats.bytes += strip.RowBytes() * static_cast<std::uint64_t>(strip.Height());
}

// ---- Insertion ------------------------------------------------------------------------------

namespace {

// Why an insertion leaves the font alone: the results line that says so.
// What an insertion reads before it changes anything.
struct FontInsertion {
    std::vector<std::uint8_t> font;
    FontHeader header;
    std::string sheetPath;
    std::string sheetOutput;
    Bitmap sheet;
    std::vector<std::uint8_t> table;
    Placement placement;
    std::string stripPath;
    Bitmap strip;
    std::vector<GlyphBox> boxes;
};

// The font, its sheet and where the changed sheet goes; neither output may be a source.
void LoadFontAndSheet(RunContext& run, const std::string& name, FontInsertion& insertion) {
    const std::string& fontPath = run.state.SourcePath;
    if (IsSameFile(name, fontPath)) {
        Refuse(name + " is the source itself; choose another target directory!");
    }
    insertion.font = ReadWholeFile(fontPath);
    const std::optional<FontHeader> header = ReadFontHeader(insertion.font);
    if (!header) {
        Refuse(fontPath + " has invalid header!");
    }
    insertion.header = *header;
    insertion.sheetPath = SheetPathOf(fontPath, *header);
    const std::string& sheetPath = insertion.sheetPath;
    insertion.sheetOutput = JoinPath(run.state.TargetDirectory, SheetFileName(header->textureName));
    if (IsSameFile(insertion.sheetOutput, sheetPath) || insertion.sheetOutput == name) {
        Refuse(insertion.sheetOutput + " is the source sheet itself; choose another target "
                                       "directory!");
    }
    insertion.sheet = LoadSheet(fontPath, sheetPath);
    if (insertion.sheet.Width() <= 0 || insertion.sheet.Height() <= 0) {
        Refuse(sheetPath + " has no pixels!");
    }
}

// Neither the changed font nor the changed sheet may replace a file that the insertion reads:
// with the extraction's folder as the target, the changed sheet bears the name of the strip.
void CheckOutputsAreNotInputs(const std::string& name, const LineBuffer& lines,
                              std::int32_t firstLine, const std::string& fontPath,
                              const FontInsertion& insertion) {
    const auto at = static_cast<std::size_t>(firstLine);
    const std::string line = ReplacedInputLine(
        {{name, "the changed font"}, {insertion.sheetOutput, "the changed sheet"}},
        {{fontPath, "the font"},
         {insertion.sheetPath, "the sheet"},
         {std::string(lines[at]), "the character table"},
         {std::string(lines[at + 2]), "the glyph strip"}});
    if (!line.empty()) {
        Refuse(line);
    }
}

Placement ReadPlacement(const std::string& fontPath, const std::string& line) {
    const auto numbers = ParseFiveNumbers(line);
    if (!numbers) {
        Refuse(fontPath + " has a placement line that does not hold five numbers "
                          "x:y:row height:left margin:right margin!");
    }
    if (std::any_of(numbers->begin(), numbers->end(), [](std::int64_t n) { return n < 0; })) {
        Refuse(fontPath + " has a negative number in its placement line!");
    }
    return Placement{(*numbers)[0], (*numbers)[1], (*numbers)[2], (*numbers)[3], (*numbers)[4]};
}

// The three entry lines: the character table, the placement line and the glyph strip.
void ReadEntryLines(const LineBuffer& lines, std::int32_t firstLine, const std::string& fontPath,
                    FontInsertion& insertion) {
    const auto at = static_cast<std::size_t>(firstLine);
    const std::string tablePath(lines[at]);
    insertion.table = ReadCharacterTable(tablePath);
    if (insertion.table.size() < kCharacterTableSize) {
        Refuse(tablePath + " is shorter than 256 bytes!");
    }
    insertion.placement = ReadPlacement(fontPath, std::string(lines[at + 1]));
    insertion.stripPath = lines[at + 2];
    insertion.strip = Bitmap::LoadFromFile(insertion.stripPath);
    FindGlyphBoxes(insertion.strip, insertion.boxes);
}

// The strip must have a band for the last flagged code, and the font a slot for every new glyph.
void CheckRoom(const std::string& fontPath, const FontInsertion& insertion) {
    std::vector<int> codes;
    for (int code = kFirstNewCode; code < kFirstNewCode + kNewCodeCount; ++code) {
        if (insertion.table[static_cast<std::size_t>(code)] != 0) {
            codes.push_back(code);
        }
    }
    const auto bandCount = static_cast<std::int32_t>(insertion.boxes.size());
    if (!codes.empty() && codes.back() - kFirstNewCode >= bandCount) {
        Refuse(insertion.stripPath + " has " + std::to_string(bandCount) +
               " glyph bands, but code " + std::to_string(codes.back()) + " needs band " +
               std::to_string(codes.back() - kFirstNewCode) + "!");
    }
    const std::uint64_t slotsNeeded = kFirstNewSlot + codes.size();
    if (insertion.header.glyphCount < slotsNeeded) {
        Refuse(fontPath + " has " + std::to_string(insertion.header.glyphCount) +
               " glyph entries, but " + std::to_string(codes.size()) + " new glyphs need " +
               std::to_string(slotsNeeded) + "!");
    }
}

// Whether a slot that the insertion overwrites holds a glyph that a code below 192 still shows:
// for those codes the character table gives the slot of the code's glyph. A slot whose
// rectangle is empty holds no glyph.
bool ReplacesGlyphsInUse(const FontInsertion& insertion) {
    std::uint32_t newGlyphs = 0;
    for (int j = 0; j < kNewCodeCount; ++j) {
        newGlyphs += insertion.table[kFirstNewCode + static_cast<std::size_t>(j)] != 0;
    }
    for (std::size_t code = 0; code < kFirstNewCode; ++code) {
        const std::uint32_t slot = insertion.table[code];
        if (slot < kFirstNewSlot || slot >= kFirstNewSlot + newGlyphs) {
            continue;
        }
        const GlyphCoords coords = ReadCoords(insertion.font, insertion.header, slot);
        if (coords.right > coords.left && coords.bottom > coords.top) {
            return true;
        }
    }
    return false;
}

// Writes the rectangle (x, y, w, h) on the sheet into the coordinate entry of slot, as the
// nearest floats to the quotients formed in double, and the cell size into its cell entry.
void StoreGlyphEntry(FontInsertion& insertion, std::uint32_t slot, std::int64_t x, std::int64_t y,
                     std::int64_t w, std::int64_t h) {
    const double width = insertion.sheet.Width();
    const double height = insertion.sheet.Height();
    std::vector<std::uint8_t>& font = insertion.font;
    const std::uint64_t coordAt = insertion.header.coordOffset + kCoordEntrySize * slot;
    StoreF32le(font, coordAt, static_cast<float>(static_cast<double>(x) / width));
    StoreF32le(font, coordAt + 4, static_cast<float>(static_cast<double>(y) / height));
    StoreF32le(font, coordAt + 8, static_cast<float>(static_cast<double>(x + w) / width));
    StoreF32le(font, coordAt + 12, static_cast<float>(static_cast<double>(y + h) / height));
    const std::uint64_t cellAt = insertion.header.cellOffset + kCellEntrySize * slot;
    StoreF32le(font, cellAt, static_cast<float>(w + kCellExtraWidth));
    StoreF32le(font, cellAt + 4, static_cast<float>(h + kCellExtraHeight));
}

// Copies the flagged glyphs onto the sheet and writes their entries; true when a glyph did not
// fit inside the sheet.
bool PlaceGlyphs(RunContext& run, FontInsertion& insertion) {
    const Placement& placement = insertion.placement;
    const std::int32_t sheetWidth = insertion.sheet.Width();
    const std::int32_t sheetHeight = insertion.sheet.Height();
    std::int64_t x = placement.x;
    std::int64_t y = placement.y;
    std::int64_t rowHeight = placement.rowHeight;
    std::uint32_t slot = kFirstNewSlot;
    bool outside = false;
    for (int j = 0; j < kNewCodeCount; ++j) {
        if (insertion.table[kFirstNewCode + static_cast<std::size_t>(j)] != 0) {
            const GlyphBox& box = insertion.boxes[static_cast<std::size_t>(j)];
            std::int64_t left = box.Left;
            std::int64_t right = box.Right;
            // A band without glyph pixels adds a glyph of no width and the band's height: no
            // margins, nothing copied, but a slot and a cell like any other glyph.
            if (box.Right > box.Left) {
                left -= placement.marginLeft;
                right += placement.marginRight;
            }
            const std::int64_t w = right - left;
            const std::int64_t h = std::int64_t{box.Bottom} - box.Top;
            if (x + w > sheetWidth) {
                x = 0;
                y += rowHeight;
                rowHeight = 0;
            }
            CopyBlock(insertion.sheet, x, y, insertion.strip, left, box.Top, w, h);
            outside = outside || x + w > sheetWidth || y + h > sheetHeight;
            StoreGlyphEntry(insertion, slot, x, y, w, h);
            x += w;
            ++slot;
            rowHeight = std::max(rowHeight, h);
        }
        UpdateFileProgress(run.surface, j * 100 / kNewCodeCount);
    }
    return outside;
}

// Both files are complete beside their targets before either replaces anything.
// A dry run only says which files it would write.
void SaveSheetAndFont(RunContext& run, const std::string& name, const FontInsertion& insertion) {
    const std::vector<std::uint8_t> sheetFile = insertion.sheet.SaveToBytes();
    if (run.state.DryRun) {
        run.surface.AddPlanLine(kPlanInsert + insertion.stripPath);
        run.surface.AddPlanLine(kPlanWrite + insertion.sheetOutput);
        run.surface.AddPlanLine(kPlanWrite + name);
        ++run.state.stats.pieces;
        run.state.stats.bytes += sheetFile.size() + insertion.font.size();
        return;
    }
    PendingFile pendingSheet(insertion.sheetOutput, run.writeHook);
    PendingFile pendingFont(name, run.writeHook);
    pendingSheet.WriteAll(sheetFile);
    pendingFont.WriteAll(insertion.font);
    pendingSheet.Commit();
    pendingFont.Commit();
    ++run.state.stats.pieces;
    run.state.stats.bytes += sheetFile.size() + insertion.font.size();
}

} // namespace

// Glyph j of the strip (code 192 + j) goes to the next free slot from 128 on. Glyphs are laid
// left to right from the placement line's position; a glyph that would pass the sheet's right
// edge starts a new row, rowHeight below, where rowHeight is the tallest glyph of the current row
// (in the first row at least the placement line's row height). Cells are the glyph plus 10 by 14.
std::int32_t InsertFont(RunContext& run, const std::string& name, std::int32_t firstLine) {
    const std::int32_t next = firstLine > std::numeric_limits<std::int32_t>::max() - 3
                                  ? std::numeric_limits<std::int32_t>::max()
                                  : firstLine + 3;
    run.state.SourceStream.reset();
    const std::string fontPath = run.state.SourcePath;
    const LineBuffer& lines = run.state.ReplayList;
    // The block of a font that the extraction left out (its strip had the name of an earlier
    // file's) holds one "NULL" line: nothing is inserted, and the replay goes on after it.
    if (firstLine >= 0 && static_cast<std::size_t>(firstLine) < lines.size() &&
        lines[static_cast<std::size_t>(firstLine)] == "NULL") {
        return firstLine + 1;
    }
    try {
        // A block cut short ends at the next block's framing line, which is never an entry.
        if (firstLine < 0 ||
            std::int64_t{firstLine} + 3 > static_cast<std::int64_t>(lines.size()) ||
            std::any_of(lines.IteratorAt(static_cast<std::size_t>(firstLine)),
                        lines.IteratorAt(static_cast<std::size_t>(firstLine) + 3), IsFramingLine)) {
            Refuse(fontPath + " has fewer than three entry lines after it in the log!");
        }
        FontInsertion insertion;
        LoadFontAndSheet(run, name, insertion);
        CheckOutputsAreNotInputs(name, lines, firstLine, fontPath, insertion);
        ReadEntryLines(lines, firstLine, fontPath, insertion);
        CheckRoom(fontPath, insertion);
        ShowFileStatus(run, "Processing ", name);
        const bool replaced = ReplacesGlyphsInUse(insertion);
        const bool outside = PlaceGlyphs(run, insertion);
        SaveSheetAndFont(run, name, insertion);
        if (replaced) {
            run.surface.AddResultLine(fontPath +
                                      " has glyphs replaced in slots used by other codes!");
        }
        if (outside) {
            run.surface.AddResultLine(insertion.stripPath +
                                      " has glyphs that do not fit the sheet!");
        }
    } catch (const Refusal& refusal) {
        // The block's three lines are passed over whatever the font holds.
        run.surface.AddResultLine(refusal.Line());
    }
    return next;
}

} // namespace eitool
