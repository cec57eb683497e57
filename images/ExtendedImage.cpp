#include "images/ExtendedImage.h"

#include "common/ByteReader.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/PendingFile.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "images/Ps2util.h"
#include "run/HandlerSupport.h"
#include "run/PieceChecks.h"
#include "run/PiecePath.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <utility>

namespace eitool {

namespace {

// Extended image header (32 bytes at offset 0), little-endian:
//   0  8  not examined
//   8  4  PaletteOffset  palette position, counted from offset 32
//  12  4  PaletteSize    64: 16 entries, 4-bit pixels; 1024: 256 entries, 8-bit pixels
//  16  2  width          used only when MipCount is 0
//  18  2  height         used only when MipCount is 0
//  20 10  not examined
//  30  1  ImageCount     must be 1
//  31  1  MipCount       further mipmap levels
// With MipCount > 0 a level table of ImageCount + MipCount entries follows at offset 32:
//   0  4  DataOffset     level pixels, counted from offset 32
//   4  2  width
//   6  2  height
// Palette entries are 4 bytes: red, green, blue, alpha. Level pixels are in the stored layout.
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kLevelEntrySize = 8;

struct Header {
    std::uint32_t paletteOffset = 0;
    std::uint32_t paletteSize = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t imageCount = 0;
    std::uint8_t mipCount = 0;
};

struct Level {
    std::uint32_t dataOffset = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The file size is passed in by the callers, which know it, to spare a query of the file per check.
Header ReadHeader(FileStream& file, std::uint64_t fileSize) {
    if (!RangeFits(0, kHeaderSize, fileSize)) {
        Refuse(file.Path() + " is too short to hold the 32-byte header of an extended image!");
    }
    std::uint8_t bytes[kHeaderSize];
    file.Seek(0);
    file.ReadExact(bytes, sizeof bytes);
    ByteReader reader(bytes);
    Header header;
    reader.Seek(8);
    header.paletteOffset = reader.U32le();
    header.paletteSize = reader.U32le();
    header.width = reader.U16le();
    header.height = reader.U16le();
    reader.Seek(30);
    header.imageCount = reader.U8();
    header.mipCount = reader.U8();
    return header;
}

int DepthOf(const Header& header) {
    if (header.paletteSize == 64) {
        return 4;
    }
    if (header.paletteSize == 1024) {
        return 8;
    }
    return 0;
}

// The level table, or the single level that the header describes when there are no mipmaps.
std::vector<Level> ReadLevels(FileStream& file, std::uint64_t fileSize, const Header& header) {
    const std::size_t count = std::size_t{header.imageCount} + header.mipCount;
    if (header.mipCount == 0) {
        return {Level{0, header.width, header.height}};
    }
    if (!RangeFits(kHeaderSize, std::uint64_t{count} * kLevelEntrySize, fileSize)) {
        Refuse(file.Path() + " has a level table of " + std::to_string(count) +
               " levels that runs past the end of the file!");
    }
    std::vector<std::uint8_t> table(count * kLevelEntrySize);
    file.Seek(kHeaderSize);
    file.ReadExact(table.data(), table.size());
    ByteReader reader(table);
    std::vector<Level> levels(count);
    for (Level& level : levels) {
        level.dataOffset = reader.U32le();
        level.width = reader.U16le();
        level.height = reader.U16le();
    }
    return levels;
}

std::uint64_t LevelBytes(const Level& level, int depth) {
    const std::uint64_t pixels = std::uint64_t(level.width) * std::uint64_t(level.height);
    return depth == 4 ? pixels / 2 : pixels;
}

std::uint64_t LevelStart(const Level& level) {
    return kHeaderSize + std::uint64_t{level.dataOffset};
}

void CheckLevelInFile(const FileStream& file, std::uint64_t fileSize, const Level& level, int depth,
                      std::size_t index) {
    if (!RangeFits(LevelStart(level), LevelBytes(level, depth), fileSize)) {
        throw CorruptFileError(file.Path(), "the pixels of level " + std::to_string(index) +
                                                " run past the end of the file");
    }
}

// A level of 16 pixels or less in width or height (0 included) is never converted: its line is
// "NULL", without a results line.
bool IsSmallLevel(const Level& level) {
    return level.width <= 16 || level.height <= 16;
}

// The stem of the output names: the file name up to its first "."; a name without any "."
// keeps its whole name.
std::string StemOf(const std::string& path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void SwapBitmapNibbles(Bitmap& bitmap) {
    const auto rowBytes = static_cast<std::size_t>(bitmap.Width() / 2);
    for (std::int32_t row = 0; row < bitmap.Height(); ++row) {
        SwapNibbles(bitmap.ScanLine(row), rowBytes);
    }
}

// The depth of an image whose levels are converted; 0, after its results line, for any other.
int AcceptedDepth(RunContext& run, const std::string& path, const Header& header) {
    if (header.imageCount != 1) {
        run.surface.AddResultLine(path + " contain more than one image!");
        return 0;
    }
    const int depth = DepthOf(header);
    if (depth == 0) {
        run.surface.AddResultLine(path + " have unknown pixel format!");
    }
    return depth;
}

void CheckPaletteInFile(const FileStream& file, std::uint64_t fileSize, const Header& header) {
    if (!RangeFits(kHeaderSize + std::uint64_t{header.paletteOffset}, header.paletteSize,
                   fileSize)) {
        Refuse(file.Path() + " has a palette that runs past the end of the file!");
    }
}

// The palette and every level are checked against the file before any output is written. A
// level's pixels past the end end the run, as a short read of them would.
void CheckImageInFile(const FileStream& file, std::uint64_t fileSize, const Header& header,
                      const std::vector<Level>& levels, int depth) {
    CheckPaletteInFile(file, fileSize, header);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        CheckLevelInFile(file, fileSize, levels[i], depth, i);
    }
}

// Whether a level is written as a BMP file: one larger than 16 x 16 of a size the layouts handle.
bool IsWrittenLevel(const Level& level, int depth) {
    return !IsSmallLevel(level) && IsSupportedTextureSize(level.width, level.height, depth);
}

// The bytes of every BMP file the levels give: headers, palette and rows padded to 4 bytes.
// Levels may share their pixels, so this can be far more than the image itself.
std::uint64_t OutputBytes(const std::vector<Level>& levels, int depth) {
    const std::uint64_t headers = 14 + 40 + (depth == 4 ? 16 : 256) * 4;
    std::uint64_t total = 0;
    for (const Level& level : levels) {
        if (IsWrittenLevel(level, depth)) {
            const std::uint64_t stride = (std::uint64_t(level.width) * depth + 31) / 32 * 4;
            total += headers + stride * std::uint64_t(level.height);
        }
    }
    return total;
}

// The level palette: the image's palette in index order, as extraction writes it.
std::vector<Rgb> LevelPalette(FileStream& file, std::uint64_t fileSize, const Header& header) {
    CheckPaletteInFile(file, fileSize, header);
    std::vector<std::uint8_t> palette(header.paletteSize);
    file.Seek(kHeaderSize + std::uint64_t{header.paletteOffset});
    file.ReadExact(palette.data(), palette.size());
    const int entries = static_cast<int>(header.paletteSize / 4);
    ReorderClut(palette, entries, 4);
    return MakePalette(entries, palette);
}

PixelFormat LevelFormat(int depth) {
    return depth == 4 ? pf4bit : pf8bit;
}

// The bitmap that every level is drawn into: the image's depth and its palette in index order.
Bitmap LevelBitmap(FileStream& file, std::uint64_t fileSize, const Header& header, int depth) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(LevelFormat(depth));
    bitmap.SetPalette(LevelPalette(file, fileSize, header));
    return bitmap;
}

// Draws a level into the bitmap in index order.
void DrawLevel(FileStream& file, Bitmap& bitmap, const Level& level, int depth) {
    file.Seek(LevelStart(level));
    bitmap.SetSizeForOverwrite(level.width, level.height);
    TransferTexture(ToBitmap, file, bitmap);
    if (depth == 4) {
        SwapBitmapNibbles(bitmap);
    }
}

// The BMP path of every level that is written (empty for the others), all checked before the
// first is written.
std::vector<std::string> LevelPaths(const RunState& state, const std::string& path,
                                    const std::vector<Level>& levels, int depth) {
    std::vector<std::string> paths(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (IsWrittenLevel(levels[i], depth)) {
            const std::string name =
                StemOf(path) + "_mip_" + HexIndex(static_cast<std::uint32_t>(i), 2) + ".bmp";
            paths[i] = PiecePathOf(state, path, name);
        }
    }
    return paths;
}

// Makes the BMP files' directories and looks at the BMP files already there: which of them hold
// exactly what the extraction writes (they are left as they are). Any other is an edited piece,
// replaced only with the user's consent, which is asked before any level is written. Only a level
// whose file exists is drawn here.
std::vector<bool> UnchangedLevels(RunContext& run, FileStream& file, Bitmap& bitmap,
                                  const std::vector<Level>& levels, int depth,
                                  const std::vector<std::string>& paths) {
    std::vector<bool> unchanged(paths.size(), false);
    bool edited = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].empty()) {
            continue;
        }
        MakePieceDirectories(run, paths[i]);
        if (!ExistingPieceSize(paths[i])) {
            continue;
        }
        DrawLevel(file, bitmap, levels[i], depth);
        if (PieceHolds(paths[i], bitmap.SaveToBytes())) {
            unchanged[i] = true;
        } else if (!edited) {
            AllowReplacingEdited(run, file.Path(), paths[i]);
            edited = true;
        }
    }
    return unchanged;
}

// Where the pre-scan of an insertion stopped: at the first line naming an existing path, at a
// "#Format:" line, or at the end of the lines.
struct PreScan {
    std::int32_t line = 0;
    bool found = false;
};

PreScan ScanForSomethingToInsert(const LineBuffer& lines, std::int32_t firstLine) {
    PreScan scan{firstLine, false};
    for (; scan.line < static_cast<std::int32_t>(lines.size()); ++scan.line) {
        const std::string line(lines[static_cast<std::size_t>(scan.line)]);
        if (line.find("#Format:") != std::string::npos) {
            break;
        }
        if (FileExists(line)) {
            scan.found = true;
            break;
        }
    }
    return scan;
}

// The channels of a 16-bit word as the BMP reader keeps them: 5-5-5 or 5-6-5, blue lowest.
struct WordLayout {
    int redShift = 10;
    int greenBits = 5;
    std::uint32_t mask = 0x7FFF;
};

WordLayout LayoutOf(PixelFormat format) {
    return format == pf16bit ? WordLayout{11, 6, 0xFFFF} : WordLayout{};
}

// NOTE: editors keep the colours of a picture but not the order of its palette, and some save it
// at another depth. The colours are what the user sees, so when every pixel's colour lies in the
// level's palette, the picture goes in by the level's indices of its colours. Entries of one
// colour differ in alpha only, which no editor shows: a pixel keeps the index the texture holds
// at its position where that index has its colour, else its own index where that has its
// colour, else it takes the lowest index of that colour. An unchanged picture, whatever an
// editor made of its palette, keeps every index.
// A 15- or 16-bit pixel has the colour of a palette entry when each of its channels lies within
// one level of the entry's channel rounded to the pixel's precision, since editors reduce by
// cutting bits, rounding or scaling by 256. It takes the held index when that entry has its
// colour, else the one colour that has it; a pixel that two colours could give is not in the
// palette.
class LevelIndexer {
public:
    LevelIndexer(const Bitmap& picture, const std::vector<Rgb>& palette)
        : m_picture(picture), m_palette(palette), m_shared(palette.size(), false) {
        for (std::size_t i = palette.size(); i-- > 0;) {
            const auto [at, added] =
                m_lowest.try_emplace(PackedColour(palette[i]), static_cast<std::uint8_t>(i));
            if (!added) {
                m_shared[i] = m_shared[at->second] = true;
                at->second = static_cast<std::uint8_t>(i);
            }
        }
        m_anyShared = std::find(m_shared.begin(), m_shared.end(), true) != m_shared.end();
        // An indexed picture is translated through its palette, entry by entry.
        if (picture.Format() == pf4bit || picture.Format() == pf8bit) {
            const std::vector<Rgb> colours = picture.Palette();
            for (std::size_t j = 0; j < colours.size(); ++j) {
                m_byIndex.push_back(Lookup(colours[j], j));
            }
        } else if (picture.Format() == pf15bit || picture.Format() == pf16bit) {
            MakeWordTable();
        }
    }

    // Whether the texture's own indices can decide a pixel's index.
    bool NeedsHeldIndices() const { return m_anyShared || !m_byWord.empty(); }

    // The picture in the level's indices, or nothing when a pixel's colour is not in the
    // palette. held, when given, is the level as the texture holds it, of the picture's size.
    std::optional<Bitmap> Translated(PixelFormat format, const Bitmap* held) const {
        Bitmap out;
        out.SetPixelFormat(format);
        if (!m_byIndex.empty() && !m_anyShared) {
            if (!IndexedInPalette()) {
                return std::nullopt;
            }
            TranslateIndexed(out);
            return out;
        }
        out.SetSize(m_picture.Width(), m_picture.Height());
        for (std::int32_t y = 0; y < m_picture.Height(); ++y) {
            for (std::int32_t x = 0; x < m_picture.Width(); ++x) {
                const int index = IndexAt(x, y, held);
                if (index == kNone) {
                    return std::nullopt;
                }
                out.SetPixelValue(x, y, static_cast<std::uint32_t>(index));
            }
        }
        return out;
    }

private:
    static constexpr int kNone = -1;
    static constexpr std::int16_t kTwoColours = -2;

    static constexpr std::uint32_t PackedColour(Rgb colour) {
        return std::uint32_t{colour.r} << 16 | std::uint32_t{colour.g} << 8 | colour.b;
    }

    int Lookup(Rgb colour, std::size_t own) const {
        if (own < m_palette.size() && m_palette[own] == colour) {
            return static_cast<int>(own);
        }
        const auto found = m_lowest.find(PackedColour(colour));
        return found == m_lowest.end() ? kNone : int{found->second};
    }

    // The levels of a channel of the given precision that an 8-bit value may have become: the
    // nearest one and the levels on either side of it.
    static std::array<std::uint32_t, 3> NearLevels(std::uint8_t value, int bits) {
        const std::uint32_t top = (1u << bits) - 1;
        const std::uint32_t nearest = (value * top + 127) / 255;
        return {nearest == 0 ? 0 : nearest - 1, nearest, std::min(nearest + 1, top)};
    }

    // Every word that a palette entry may have become, with the lowest index of the one colour
    // that gives it, or kTwoColours.
    void MakeWordTable() {
        m_layout = LayoutOf(m_picture.Format());
        for (int value = 0; value < 256; ++value) {
            const auto at = static_cast<std::size_t>(value);
            m_near5[at] = NearLevels(static_cast<std::uint8_t>(value), 5);
            m_nearGreen[at] = NearLevels(static_cast<std::uint8_t>(value), m_layout.greenBits);
        }
        m_byWord.assign(std::size_t{m_layout.mask} + 1, static_cast<std::int16_t>(kNone));
        for (std::size_t i = 0; i < m_palette.size(); ++i) {
            const Rgb colour = m_palette[i];
            for (const std::uint32_t r : m_near5[colour.r]) {
                for (const std::uint32_t g : m_nearGreen[colour.g]) {
                    for (const std::uint32_t b : m_near5[colour.b]) {
                        std::int16_t& entry = m_byWord[r << m_layout.redShift | g << 5 | b];
                        if (entry == kNone) {
                            entry = static_cast<std::int16_t>(i);
                        } else if (entry >= 0 &&
                                   m_palette[static_cast<std::size_t>(entry)] != colour) {
                            entry = kTwoColours;
                        }
                    }
                }
            }
        }
    }

    // Whether a palette entry has the colour of a 16-bit word.
    bool WordHasColourOf(std::uint32_t word, Rgb colour) const {
        const auto within = [](std::uint32_t level, const std::array<std::uint32_t, 3>& near) {
            return std::find(near.begin(), near.end(), level) != near.end();
        };
        return within(word >> m_layout.redShift & 31, m_near5[colour.r]) &&
               within(word >> 5 & ((1u << m_layout.greenBits) - 1), m_nearGreen[colour.g]) &&
               within(word & 31, m_near5[colour.b]);
    }

    int IndexAt(std::int32_t x, std::int32_t y, const Bitmap* held) const {
        const auto heldIndex = [&]() -> std::size_t {
            return held != nullptr ? held->PixelValue(x, y) : m_palette.size();
        };
        if (!m_byWord.empty()) {
            const std::uint32_t word = m_picture.PixelValue(x, y) & m_layout.mask;
            const std::size_t kept = heldIndex();
            if (kept < m_palette.size() && WordHasColourOf(word, m_palette[kept])) {
                return static_cast<int>(kept);
            }
            const int only = m_byWord[word];
            return only >= 0 ? only : kNone;
        }
        const int index = m_byIndex.empty() ? Lookup(m_picture.PixelColor(x, y), m_palette.size())
                                            : m_byIndex[m_picture.PixelValue(x, y)];
        if (index == kNone || !m_shared[static_cast<std::size_t>(index)]) {
            return index;
        }
        const std::size_t kept = heldIndex();
        return kept < m_palette.size() &&
                       m_palette[kept] == m_palette[static_cast<std::size_t>(index)]
                   ? static_cast<int>(kept)
                   : index;
    }

    // Whether every index that the indexed picture uses has a colour of the palette.
    bool IndexedInPalette() const {
        if (std::find(m_byIndex.begin(), m_byIndex.end(), kNone) == m_byIndex.end()) {
            return true;
        }
        for (std::int32_t y = 0; y < m_picture.Height(); ++y) {
            const std::uint8_t* row = m_picture.ScanLine(y);
            for (std::int32_t x = 0; x < m_picture.Width(); ++x) {
                if (m_byIndex[IndexedValue(row, x)] == kNone) {
                    return false;
                }
            }
        }
        return true;
    }

    // An indexed picture row by row through a table of its bytes (a byte holds two 4-bit
    // pixels); every byte of a row is written.
    void TranslateIndexed(Bitmap& out) const {
        const PixelFormat format = out.Format();
        out.SetSizeForOverwrite(m_picture.Width(), m_picture.Height());
        const auto width = static_cast<std::size_t>(m_picture.Width());
        const bool fourToFour = m_picture.Format() == pf4bit && format == pf4bit;
        if (fourToFour || (m_picture.Format() == pf8bit && format == pf8bit)) {
            std::array<std::uint8_t, 256> bytes{};
            for (std::size_t value = 0; value < bytes.size(); ++value) {
                bytes[value] = fourToFour
                                   ? static_cast<std::uint8_t>((m_byIndex[value >> 4] & 0x0F) << 4 |
                                                               (m_byIndex[value & 0x0F] & 0x0F))
                                   : static_cast<std::uint8_t>(m_byIndex[value]);
            }
            const std::size_t rowBytes = fourToFour ? width / 2 : width;
            for (std::int32_t y = 0; y < m_picture.Height(); ++y) {
                const std::uint8_t* in = m_picture.ScanLine(y);
                std::uint8_t* row = out.ScanLine(y);
                for (std::size_t x = 0; x < rowBytes; ++x) {
                    row[x] = bytes[in[x]];
                }
                // The left pixel of an odd last pair; the right one is no pixel and stays 0.
                if (fourToFour && width % 2 != 0) {
                    row[rowBytes] = static_cast<std::uint8_t>(bytes[in[rowBytes]] & 0xF0);
                }
            }
            return;
        }
        for (std::int32_t y = 0; y < m_picture.Height(); ++y) {
            const std::uint8_t* in = m_picture.ScanLine(y);
            std::uint8_t* row = out.ScanLine(y);
            for (std::size_t x = 0; x < width; ++x) {
                const int index = m_byIndex[IndexedValue(in, static_cast<std::int32_t>(x))];
                if (format == pf8bit) {
                    row[x] = static_cast<std::uint8_t>(index);
                } else if (x % 2 == 0) {
                    row[x / 2] = static_cast<std::uint8_t>((index & 0x0F) << 4);
                } else {
                    row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | (index & 0x0F));
                }
            }
        }
    }

    // The index of pixel x of a row of the indexed picture.
    std::uint8_t IndexedValue(const std::uint8_t* row, std::int32_t x) const {
        const auto at = static_cast<std::size_t>(x);
        if (m_picture.Format() == pf8bit) {
            return row[at];
        }
        return at % 2 == 0 ? row[at / 2] >> 4 : row[at / 2] & 0x0F;
    }

    const Bitmap& m_picture;
    const std::vector<Rgb>& m_palette;
    std::unordered_map<std::uint32_t, std::uint8_t> m_lowest;
    std::vector<bool> m_shared; // per palette entry: another entry has its colour
    bool m_anyShared = false;
    std::vector<int> m_byIndex;
    // 15- and 16-bit pictures: the word layout, the channel levels near each 8-bit value, and
    // what every word stands for.
    WordLayout m_layout;
    std::array<std::array<std::uint32_t, 3>, 256> m_near5{};
    std::array<std::array<std::uint32_t, 3>, 256> m_nearGreen{};
    std::vector<std::int16_t> m_byWord;
};

// Writes the bitmap at bitmapPath over level `index` of the copy when its colours lie in the
// level's palette or it has the image's depth, and it has the level's size; otherwise the level
// stays as it is, with a results line. Indices taken as they are, with colours that the level's
// palette lacks, are told in a notice. The source gives the indices the texture holds.
void InsertLevel(RunContext& run, FileStream& source, FileStream& copy, std::uint64_t copySize,
                 const std::string& bitmapPath, const Level& level, const std::vector<Rgb>& palette,
                 int depth, std::size_t index) {
    int fileBits = 0;
    const Bitmap picture = Bitmap::LoadFromFile(bitmapPath, &fileBits);
    const LevelIndexer indexer(picture, palette);
    std::optional<Bitmap> held;
    if (indexer.NeedsHeldIndices() && picture.Width() == level.width &&
        picture.Height() == level.height &&
        IsSupportedTextureSize(level.width, level.height, depth) &&
        RangeFits(LevelStart(level), LevelBytes(level, depth), copySize)) {
        held.emplace();
        held->SetPixelFormat(LevelFormat(depth));
        DrawLevel(source, *held, level, depth);
    }
    std::optional<Bitmap> translated =
        indexer.Translated(LevelFormat(depth), held ? &*held : nullptr);
    const bool inPalette = translated.has_value();
    if (!inPalette && fileBits != depth) {
        run.surface.AddResultLine(bitmapPath + (depth == 4 ? " not 4 bit!" : " not 8 bit!"));
    } else if (picture.Width() != level.width || picture.Height() != level.height) {
        run.surface.AddResultLine(bitmapPath + " has invalid size!");
    } else if (!IsSupportedTextureSize(level.width, level.height, depth)) {
        run.surface.AddResultLine(bitmapPath + " has unsupported size!");
    } else if (run.state.DryRun) {
        CheckLevelInFile(copy, copySize, level, depth, index);
        ++run.state.stats.pieces;
        run.state.stats.bytes += LevelBytes(level, depth);
        run.surface.AddPlanLine(kPlanInsert + bitmapPath);
    } else {
        CheckLevelInFile(copy, copySize, level, depth, index);
        Bitmap bitmap = inPalette ? std::move(*translated) : picture;
        if (depth == 4) {
            SwapBitmapNibbles(bitmap);
        }
        copy.Seek(LevelStart(level));
        TransferTexture(FromBitmap, copy, bitmap);
        ++run.state.stats.pieces;
        run.state.stats.bytes += LevelBytes(level, depth);
        if (!inPalette) {
            run.surface.AddNotice(bitmapPath + ": colours outside the texture's palette were "
                                               "found; the indices were used as they are");
        }
    }
}

} // namespace

void SwapNibbles(std::uint8_t* row, std::size_t length) {
    // Eight bytes at a time, then the rest one by one.
    constexpr std::uint64_t kLow = 0x0F0F0F0F0F0F0F0Full;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, row + i, 8);
        word = ((word >> 4) & kLow) | ((word & kLow) << 4);
        std::memcpy(row + i, &word, 8);
    }
    for (; i < length; ++i) {
        row[i] = static_cast<std::uint8_t>((row[i] >> 4) | (row[i] << 4));
    }
}

// The console keeps 256-entry palettes with the second and third run of 8 entries of every 32
// exchanged; exchanging them again gives index order. A 16-entry palette is already in order.
// A palette whose entries all share one colour carries its information in alpha only and becomes
// a grey ramp of the alpha values.
void ReorderClut(std::span<std::uint8_t> palette, int count, int entrySize) {
    const int groups = count / 8;
    const std::size_t groupBytes = std::size_t{8} * static_cast<std::size_t>(entrySize);
    for (int g = 1; g < groups - 2; g += 4) {
        auto* first = palette.data() + static_cast<std::size_t>(g) * groupBytes;
        std::swap_ranges(first, first + groupBytes, first + groupBytes);
    }
    if (entrySize != 4 || count <= 0) {
        return;
    }
    for (int i = 1; i < count; ++i) {
        const auto* entry = palette.data() + 4 * static_cast<std::size_t>(i);
        if (!std::equal(entry, entry + 3, entry - 4)) {
            return;
        }
    }
    for (int i = 0; i < count; ++i) {
        auto* entry = palette.data() + 4 * static_cast<std::size_t>(i);
        entry[0] = entry[1] = entry[2] = entry[3];
    }
}

std::vector<Rgb> MakePalette(int count, std::span<const std::uint8_t> palette) {
    std::vector<Rgb> colours(static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        colours[i] = Rgb{palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]};
    }
    return colours;
}

void ExtractExtendedImage(RunContext& run, const std::string& path) {
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t fileSize = file.Size();
    const Header header = ReadHeader(file, fileSize);
    ShowFileStatus(run, "Processing ", path);
    const int depth = AcceptedDepth(run, path, header);
    if (depth == 0) {
        return;
    }
    const std::vector<Level> levels = ReadLevels(file, fileSize, header);
    CheckImageInFile(file, fileSize, header, levels, depth);
    if (!WithinOutputLimit(run, path, OutputBytes(levels, depth), fileSize)) {
        return;
    }
    Bitmap bitmap = LevelBitmap(file, fileSize, header, depth);

    const auto count = static_cast<std::int32_t>(levels.size());
    const std::vector<std::string> paths = LevelPaths(run.state, path, levels, depth);
    if (!ClaimPieces(run, path, paths)) {
        run.state.ResultLog.insert(run.state.ResultLog.end(), levels.size(), "NULL");
        return;
    }
    const std::vector<bool> unchanged = UnchangedLevels(run, file, bitmap, levels, depth, paths);
    // The levels' renames are made durable together, once per directory, after the last level.
    std::vector<std::string> writtenDirectories;
    for (std::int32_t i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const Level& level = levels[at];
        if (IsSmallLevel(level)) {
            run.state.ResultLog.emplace_back("NULL");
        } else if (!IsSupportedTextureSize(level.width, level.height, depth)) {
            run.surface.AddResultLine(path + " has unsupported size!");
            run.state.ResultLog.emplace_back("NULL");
        } else {
            if (!unchanged[at]) {
                DrawLevel(file, bitmap, level, depth);
                SetOldResultLogAside(run);
                bitmap.SaveToFileWithoutDirectorySync(paths[at], run.writeHook);
                std::string directory = DirectoryPart(paths[at]);
                if (std::find(writtenDirectories.begin(), writtenDirectories.end(), directory) ==
                    writtenDirectories.end()) {
                    writtenDirectories.push_back(std::move(directory));
                }
            }
            run.state.ResultLog.push_back(paths[at]);
            ++run.state.stats.pieces;
            run.state.stats.bytes += LevelBytes(level, depth);
        }
        UpdateFileProgress(run.surface, static_cast<std::int32_t>(std::int64_t{i} * 100 / count));
    }
    for (const std::string& directory : writtenDirectories) {
        SyncDirectory(directory);
    }
}

bool HoldsExtendedImage(FileStream& file) {
    const std::uint64_t size = file.Size();
    if (!RangeFits(0, kHeaderSize, size)) {
        return false;
    }
    const Header header = ReadHeader(file, size);
    return header.imageCount == 1 && DepthOf(header) != 0;
}

std::int32_t InsertExtendedImage(RunContext& run, const std::string& outputPath,
                                 std::int32_t firstLine) {
    const LineBuffer& lines = run.state.ReplayList;
    const PreScan scan = ScanForSomethingToInsert(lines, firstLine);
    if (!scan.found) {
        for (std::int32_t line = firstLine; run.state.DryRun && line < scan.line; ++line) {
            const std::string missing(lines[static_cast<std::size_t>(line)]);
            if (!missing.empty() && missing != "NULL") {
                run.surface.AddPlanLine(kPlanMissing + missing);
            }
        }
        return scan.line - 1;
    }
    // A target directory that holds the source would replace the user's original.
    if (IsSameFile(run.state.SourcePath, outputPath)) {
        run.surface.AddResultLine(outputPath +
                                  " is the source itself; choose another target directory!");
        return scan.line - 1;
    }

    FileStream& source = *run.state.SourceStream;
    const std::uint64_t copySize = source.Size();
    const Header header = ReadHeader(source, copySize);
    const int depth = DepthOf(header);
    const bool accepted = header.imageCount == 1 && depth != 0;
    const std::vector<Level> levels =
        accepted ? ReadLevels(source, copySize, header) : std::vector<Level>{};
    const std::vector<Rgb> palette =
        accepted ? LevelPalette(source, copySize, header) : std::vector<Rgb>{};
    // Nor may the patched copy replace a level bitmap that it is made from.
    std::vector<RoleFile> bitmaps;
    const auto first = static_cast<std::size_t>(firstLine);
    for (std::size_t k = 0; k < levels.size() && first + k < lines.size(); ++k) {
        bitmaps.push_back({std::string(lines[first + k]), "a level bitmap"});
    }
    const std::string replaced = ReplacedInputLine({{outputPath, "the patched copy"}}, bitmaps);
    if (!replaced.empty()) {
        run.surface.AddResultLine(replaced);
        return scan.line - 1;
    }

    // The patched copy is made beside the output and renamed over it when complete. A dry run
    // reads the source instead and writes nothing.
    std::optional<PendingFile> pending;
    FileStream* patched = &source;
    if (!run.state.DryRun) {
        pending.emplace(outputPath, run.writeHook);
        patched = &pending->Create();
        source.Seek(0);
        patched->CopyFrom(source, copySize);
    }
    FileStream& copy = *patched;
    ShowFileStatus(run, "Processing ", outputPath);

    std::int32_t line = firstLine;
    if (accepted) {
        const auto count = static_cast<std::int32_t>(levels.size());
        // A log or a block that ends early leaves the remaining levels as they are.
        for (std::int32_t k = 0; k < count && line < static_cast<std::int32_t>(lines.size()) &&
                                 !IsFramingLine(lines[static_cast<std::size_t>(line)]);
             ++k, ++line) {
            const std::string bitmapPath(lines[static_cast<std::size_t>(line)]);
            if (FileExists(bitmapPath)) {
                InsertLevel(run, source, copy, copySize, bitmapPath,
                            levels[static_cast<std::size_t>(k)], palette, depth,
                            static_cast<std::size_t>(k));
            } else if (run.state.DryRun && bitmapPath != "NULL") {
                run.surface.AddPlanLine(kPlanMissing + bitmapPath);
            }
            UpdateFileProgress(run.surface,
                               static_cast<std::int32_t>(std::int64_t{k} * 100 / count));
        }
    }
    if (pending) {
        pending->Commit();
    } else {
        run.surface.AddPlanLine(kPlanWrite + outputPath);
    }
    return line;
}

} // namespace eitool
