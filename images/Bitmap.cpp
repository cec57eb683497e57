#include "images/Bitmap.h"

#include "common/ByteWriter.h"
#include "common/ByteReader.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/PendingFile.h"
#include "common/RunError.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace eitool {

namespace {

bool IsIndexed(PixelFormat format) {
    return format == pf4bit || format == pf8bit;
}

std::size_t PaletteLength(PixelFormat format) {
    return format == pf4bit ? 16 : format == pf8bit ? 256 : 0;
}

// Rows are padded to whole 32-bit words, as in a device-independent bitmap, so that a row can be
// written to a BMP file as it is.
std::uint64_t StrideOf(std::uint64_t width, int bits) {
    return (width * static_cast<std::uint64_t>(bits) + 31) / 32 * 4;
}

std::uint8_t Expand5(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

std::uint8_t Expand6(std::uint32_t v) {
    return static_cast<std::uint8_t>((v << 2) | (v >> 4));
}

// The nearest level of a channel of `levels` steps (31 or 63) to an 8-bit value.
std::uint32_t Reduce(std::uint8_t value, std::uint32_t levels) {
    return (value * levels + 127) / 255;
}

std::uint32_t Distance(const Rgb& a, const Rgb& b) {
    const int dr = int{a.r} - int{b.r};
    const int dg = int{a.g} - int{b.g};
    const int db = int{a.b} - int{b.b};
    return static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
}

// Raw values of colours in one target bitmap, remembering recent answers so that converting a
// picture into an indexed format does not search the palette for every pixel.
class ColourMatcher {
public:
    explicit ColourMatcher(const Bitmap& target) : m_target(target) { m_keys.fill(kEmpty); }

    std::uint32_t ValueOf(Rgb colour) {
        if (!IsIndexed(m_target.Format())) {
            return m_target.ValueOfColor(colour);
        }
        const std::uint32_t key = (std::uint32_t{colour.r} << 16) | (colour.g << 8) | colour.b;
        const std::size_t slot = ((key * 2654435761u) >> 20) & (kSlots - 1);
        if (m_keys[slot] != key) {
            m_keys[slot] = key;
            m_values[slot] = m_target.NearestIndex(colour);
        }
        return m_values[slot];
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    const Bitmap& m_target;
    std::array<std::uint32_t, kSlots> m_keys{};
    std::array<std::uint8_t, kSlots> m_values{};
};

} // namespace

int BitsPerPixel(PixelFormat format) {
    switch (format) {
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf15bit:
    case pf16bit:
        return 16;
    case pf24bit:
        return 24;
    case pf32bit:
        return 32;
    }
    return 24;
}

// ---------------------------------------------------------------------------------------------
// Size, format and palette

void Bitmap::Reallocate(std::int32_t width, std::int32_t height, bool keepPixels) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int bits = BitsPerPixel(m_format);
    const auto stride = static_cast<std::size_t>(StrideOf(static_cast<std::uint64_t>(width), bits));
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(height), 0);
    if (keepPixels) {
        const std::int32_t keptWidth = std::min(width, m_width);
        const std::int32_t keptRows = std::min(height, m_height);
        const std::size_t keptBits = static_cast<std::size_t>(keptWidth) * bits;
        const std::size_t keptBytes = (keptBits + 7) / 8;
        for (std::int32_t row = 0; row < keptRows; ++row) {
            std::uint8_t* to = pixels.data() + static_cast<std::size_t>(row) * stride;
            if (keptBytes == 0) {
                break;
            }
            std::memcpy(to, m_pixels.data() + static_cast<std::size_t>(row) * m_stride, keptBytes);
            // A 4-bit row cut inside a byte keeps only the left (high) nibble of its last byte.
            if (keptBits % 8 != 0) {
                to[keptBytes - 1] &= 0xF0;
            }
        }
    }
    m_width = width;
    m_height = height;
    m_stride = stride;
    m_pixels = std::move(pixels);
}

void Bitmap::SetPixelFormat(PixelFormat format) {
    m_format = format;
    if (IsIndexed(format)) {
        m_palette.resize(PaletteLength(format));
    } else {
        m_palette.clear();
    }
    Reallocate(m_width, m_height, false);
}

void Bitmap::SetWidth(std::int32_t width) {
    Reallocate(width, m_height, true);
}

void Bitmap::SetHeight(std::int32_t height) {
    Reallocate(m_width, height, true);
}

void Bitmap::SetSize(std::int32_t width, std::int32_t height) {
    Reallocate(width, height, true);
}

void Bitmap::SetPalette(const std::vector<Rgb>& colours) {
    if (!IsIndexed(m_format)) {
        return;
    }
    m_palette.assign(PaletteLength(m_format), Rgb{});
    std::copy_n(colours.begin(), std::min(colours.size(), m_palette.size()), m_palette.begin());
}

std::uint8_t* Bitmap::ScanLine(std::int32_t row) {
    assert(row >= 0 && row < m_height);
    return m_pixels.data() + static_cast<std::size_t>(row) * m_stride;
}

const std::uint8_t* Bitmap::ScanLine(std::int32_t row) const {
    assert(row >= 0 && row < m_height);
    return m_pixels.data() + static_cast<std::size_t>(row) * m_stride;
}

// ---------------------------------------------------------------------------------------------
// Pixels

// Raw values: 4-bit pixels are nibbles with the left pixel of a pair in the high nibble; 16-bit
// words and 32-bit words are stored little-endian; a 24-bit pixel is bytes blue, green, red and
// its value is 0xRRGGBB.
std::uint32_t Bitmap::PixelValue(std::int32_t x, std::int32_t y) const {
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
    const std::uint8_t* row = ScanLine(y);
    const auto ux = static_cast<std::size_t>(x);
    switch (m_format) {
    case pf4bit: {
        const std::uint8_t pair = row[ux / 2];
        return (ux % 2 == 0) ? (pair >> 4) : (pair & 0x0F);
    }
    case pf8bit:
        return row[ux];
    case pf15bit:
    case pf16bit: {
        const std::uint8_t* p = row + ux * 2;
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8);
    }
    case pf24bit: {
        const std::uint8_t* p = row + ux * 3;
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    }
    case pf32bit: {
        const std::uint8_t* p = row + ux * 4;
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
               (std::uint32_t{p[3]} << 24);
    }
    }
    return 0;
}

void Bitmap::SetPixelValue(std::int32_t x, std::int32_t y, std::uint32_t value) {
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
    std::uint8_t* row = ScanLine(y);
    const auto ux = static_cast<std::size_t>(x);
    switch (m_format) {
    case pf4bit: {
        std::uint8_t& pair = row[ux / 2];
        const auto nibble = static_cast<std::uint8_t>(value & 0x0F);
        pair = (ux % 2 == 0) ? static_cast<std::uint8_t>((pair & 0x0F) | (nibble << 4))
                             : static_cast<std::uint8_t>((pair & 0xF0) | nibble);
        return;
    }
    case pf8bit:
        row[ux] = static_cast<std::uint8_t>(value);
        return;
    case pf15bit:
    case pf16bit:
        row[ux * 2] = static_cast<std::uint8_t>(value);
        row[ux * 2 + 1] = static_cast<std::uint8_t>(value >> 8);
        return;
    case pf24bit:
        row[ux * 3] = static_cast<std::uint8_t>(value);
        row[ux * 3 + 1] = static_cast<std::uint8_t>(value >> 8);
        row[ux * 3 + 2] = static_cast<std::uint8_t>(value >> 16);
        return;
    case pf32bit:
        for (std::size_t i = 0; i < 4; ++i) {
            row[ux * 4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return;
    }
}

Rgb Bitmap::PixelColor(std::int32_t x, std::int32_t y) const {
    const std::uint32_t v = PixelValue(x, y);
    switch (m_format) {
    case pf4bit:
    case pf8bit:
        return v < m_palette.size() ? m_palette[v] : Rgb{};
    case pf15bit:
        return {Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31)};
    case pf16bit:
        return {Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31)};
    case pf24bit:
    case pf32bit:
        return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v)};
    }
    return {};
}

void Bitmap::SetPixelColor(std::int32_t x, std::int32_t y, Rgb colour) {
    SetPixelValue(x, y, ValueOfColor(colour));
}

// 15- and 16-bit channels take the nearest of their 32 or 64 levels, so that a colour read from
// such a pixel (levels expanded by repeating their top bits) gives the same pixel back. In the
// 32-bit format the fourth byte becomes 0.
std::uint32_t Bitmap::ValueOfColor(Rgb colour) const {
    switch (m_format) {
    case pf4bit:
    case pf8bit:
        return NearestIndex(colour);
    case pf15bit:
        return (Reduce(colour.r, 31) << 10) | (Reduce(colour.g, 31) << 5) | Reduce(colour.b, 31);
    case pf16bit:
        return (Reduce(colour.r, 31) << 11) | (Reduce(colour.g, 63) << 5) | Reduce(colour.b, 31);
    case pf24bit:
    case pf32bit:
        return (std::uint32_t{colour.r} << 16) | (std::uint32_t{colour.g} << 8) | colour.b;
    }
    return 0;
}

std::uint8_t Bitmap::NearestIndex(Rgb colour) const {
    std::size_t best = 0;
    std::uint32_t bestDistance = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t i = 0; i < m_palette.size(); ++i) {
        const std::uint32_t d = Distance(m_palette[i], colour);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) {
                break;
            }
        }
    }
    return static_cast<std::uint8_t>(best);
}

// ---------------------------------------------------------------------------------------------
// Canvas

void Bitmap::FillRect(const Rect& rect, Rgb colour) {
    const std::int32_t left = std::max(rect.left, 0);
    const std::int32_t top = std::max(rect.top, 0);
    const std::int32_t right = std::min(rect.right, m_width);
    const std::int32_t bottom = std::min(rect.bottom, m_height);
    if (left >= right || top >= bottom) {
        return;
    }
    const std::uint32_t value = ValueOfColor(colour);
    for (std::int32_t y = top; y < bottom; ++y) {
        if (m_format == pf8bit) {
            std::memset(ScanLine(y) + left, static_cast<int>(value),
                        static_cast<std::size_t>(right - left));
            continue;
        }
        for (std::int32_t x = left; x < right; ++x) {
            SetPixelValue(x, y, value);
        }
    }
}

// Bresenham's line: one pixel per step along the major axis, the minor coordinate advancing when
// the accumulated error passes half a pixel. The end point itself is not drawn, so lines joined
// end to start draw every pixel once. Points outside the bitmap are skipped.
void Bitmap::DrawLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                      Rgb colour) {
    if (std::max(x0, x1) < 0 || std::min(x0, x1) >= m_width || std::max(y0, y1) < 0 ||
        std::min(y0, y1) >= m_height) {
        return;
    }
    const std::uint32_t value = ValueOfColor(colour);
    const std::int64_t dx = std::abs(std::int64_t{x1} - x0);
    const std::int64_t dy = -std::abs(std::int64_t{y1} - y0);
    const std::int64_t sx = x0 < x1 ? 1 : -1;
    const std::int64_t sy = y0 < y1 ? 1 : -1;
    const std::int64_t steps = std::max(dx, -dy);
    std::int64_t error = dx + dy;
    std::int64_t x = x0;
    std::int64_t y = y0;
    for (std::int64_t step = 0; step < steps; ++step) {
        if (x >= 0 && x < m_width && y >= 0 && y < m_height) {
            SetPixelValue(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), value);
        }
        const std::int64_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

namespace {

// Copies the width x height pixels at (sx, sy) of source to (tx, ty) of target, leaving out the
// pixels for which either position lies outside its bitmap. Source and target must differ.
void CopyArea(Bitmap& target, std::int64_t tx, std::int64_t ty, const Bitmap& source,
              std::int64_t sx, std::int64_t sy, std::int64_t width, std::int64_t height) {
    const std::int64_t ox0 = std::max<std::int64_t>({0, -tx, -sx});
    const std::int64_t oy0 = std::max<std::int64_t>({0, -ty, -sy});
    const std::int64_t ox1 =
        std::min<std::int64_t>({width, target.Width() - tx, source.Width() - sx});
    const std::int64_t oy1 =
        std::min<std::int64_t>({height, target.Height() - ty, source.Height() - sy});
    if (ox0 >= ox1 || oy0 >= oy1) {
        return;
    }
    const PixelFormat format = target.Format();
    const bool raw =
        source.Format() == format && (!IsIndexed(format) || source.Palette() == target.Palette());
    const int bits = BitsPerPixel(format);
    ColourMatcher matcher(target);
    for (std::int64_t oy = oy0; oy < oy1; ++oy) {
        const auto toRow = static_cast<std::int32_t>(ty + oy);
        const auto fromRow = static_cast<std::int32_t>(sy + oy);
        if (raw && bits >= 8) {
            const auto bytesPerPixel = static_cast<std::size_t>(bits / 8);
            std::memcpy(target.ScanLine(toRow) + static_cast<std::size_t>(tx + ox0) * bytesPerPixel,
                        source.ScanLine(fromRow) +
                            static_cast<std::size_t>(sx + ox0) * bytesPerPixel,
                        static_cast<std::size_t>(ox1 - ox0) * bytesPerPixel);
            continue;
        }
        for (std::int64_t ox = ox0; ox < ox1; ++ox) {
            const auto toX = static_cast<std::int32_t>(tx + ox);
            const auto fromX = static_cast<std::int32_t>(sx + ox);
            const std::uint32_t value = raw ? source.PixelValue(fromX, fromRow)
                                            : matcher.ValueOf(source.PixelColor(fromX, fromRow));
            target.SetPixelValue(toX, toRow, value);
        }
    }
}

} // namespace

void Bitmap::CopyRect(const Rect& destRect, const Bitmap& source, const Rect& sourceRect) {
    if (&source == this) {
        const Bitmap copy = source;
        CopyRect(destRect, copy, sourceRect);
        return;
    }
    const std::int64_t width = std::min(std::int64_t{destRect.right} - destRect.left,
                                        std::int64_t{sourceRect.right} - sourceRect.left);
    const std::int64_t height = std::min(std::int64_t{destRect.bottom} - destRect.top,
                                         std::int64_t{sourceRect.bottom} - sourceRect.top);
    CopyArea(*this, destRect.left, destRect.top, source, sourceRect.left, sourceRect.top, width,
             height);
}

void Bitmap::Draw(std::int32_t x, std::int32_t y, const Bitmap& picture) {
    if (&picture == this) {
        const Bitmap copy = picture;
        Draw(x, y, copy);
        return;
    }
    CopyArea(*this, x, y, picture, 0, 0, picture.m_width, picture.m_height);
}

// ---------------------------------------------------------------------------------------------
// BMP files

namespace {

// BITMAPFILEHEADER (14 bytes):
//   0  u16  "BM"
//   2  u32  size of the file (not trusted)
//   6  u32  reserved
//   10 u32  offset of the pixel data from the start of the file
// followed by the size (u32) and the rest of one of the information headers:
//   BITMAPCOREHEADER (12 bytes):
//     4  u16  width
//     6  u16  height (rows always bottom-up)
//     8  u16  planes
//     10 u16  bits per pixel; palette entries are 3 bytes blue, green, red
//   BITMAPINFOHEADER (40 bytes) and its extensions V2 (52), V3 (56), V4 (108), V5 (124):
//     4  i32  width
//     8  i32  height; negative: rows top-down
//     12 u16  planes
//     14 u16  bits per pixel
//     16 u32  compression
//     20 u32  size of the pixel data (0 allowed for uncompressed data; not trusted)
//     24 i32  horizontal resolution, pixels per metre
//     28 i32  vertical resolution
//     32 u32  palette entries used (0: 2^bits for indexed files)
//     36 u32  important entries
//     40 u32  red mask, 44 green mask, 48 blue mask (V2 and later)
//     52 u32  alpha mask (V3 and later)
//     56..    colour space, end points, gamma (V4); intent and profile (V5): not used
//   A 40-byte header with BI_BITFIELDS (or BI_ALPHABITFIELDS) is followed by its three (four)
//   masks. Then comes the palette of 4-byte entries blue, green, red, 0.
// Rows are padded to a multiple of 4 bytes; a 4-bit row has the left pixel in the high nibble.

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// Loading refuses pictures past these sizes whatever the file holds.
constexpr std::uint64_t kMaxSide = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
// An RLE stream may leave whole rows to end-of-line codes, so its size bounds the picture only
// loosely: at most this many pixels per byte of stream, beyond a small picture that is always
// allowed.
constexpr std::uint64_t kRlePixelsPerByte = 1024;
constexpr std::uint64_t kRleAlwaysAllowed = 1 << 16;

struct Masks {
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
};

struct BmpHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    std::uint32_t bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t coloursUsed = 0;
    std::uint32_t pixelOffset = 0;
    Masks masks;
    bool hasMasks = false;
};

class BmpReader {
public:
    BmpReader(std::span<const std::uint8_t> bytes, const std::string& name)
        : m_bytes(bytes), m_name(name) {}

    Bitmap Read() {
        try {
            ReadHeaders();
            CheckVariant();
            const std::vector<Rgb> palette =
                IsIndexed(m_format) ? ReadPalette() : std::vector<Rgb>{};
            CheckSize();
            Bitmap bitmap;
            bitmap.SetPixelFormat(m_format);
            bitmap.SetPalette(palette);
            bitmap.SetSize(static_cast<std::int32_t>(m_header.width),
                           static_cast<std::int32_t>(m_header.height));
            if (m_header.compression == kBiRle8 || m_header.compression == kBiRle4) {
                ReadRle(bitmap);
            } else {
                ReadRows(bitmap);
            }
            return bitmap;
        } catch (const OutOfBounds& error) {
            Fail(std::string("the file ends too early (") + error.what() + ")");
        }
    }

private:
    [[noreturn]] void Fail(const std::string& reason) const {
        throw CorruptFileError(m_name, reason);
    }

    void ReadHeaders() {
        ByteReader reader(m_bytes);
        if (reader.Size() < kFileHeaderSize + 4) {
            Fail("the file is too short for a BMP file (" + std::to_string(reader.Size()) +
                 " bytes)");
        }
        if (reader.U8() != 'B' || reader.U8() != 'M') {
            Fail("not a BMP file (no \"BM\" signature)");
        }
        reader.Skip(8);
        m_header.pixelOffset = reader.U32le();
        m_header.headerSize = reader.U32le();
        const std::uint32_t size = m_header.headerSize;
        if (size != kCoreHeaderSize && size != kInfoHeaderSize && size != 52 && size != 56 &&
            size != 108 && size != 124) {
            Fail("BMP information header of " + std::to_string(size) + " bytes is not supported");
        }
        if (!reader.CanRead(size - 4)) {
            Fail("the BMP information header runs past the end of the file");
        }
        if (size == kCoreHeaderSize) {
            m_header.width = reader.U16le();
            m_header.height = reader.U16le();
            reader.Skip(2);
            m_header.bits = reader.U16le();
            m_paletteEntrySize = 3;
            m_paletteOffset = reader.Position();
            return;
        }
        m_header.width = static_cast<std::int32_t>(reader.U32le());
        const auto height = static_cast<std::int32_t>(reader.U32le());
        reader.Skip(2);
        m_header.bits = reader.U16le();
        m_header.compression = reader.U32le();
        reader.Skip(12);
        m_header.coloursUsed = reader.U32le();
        reader.Skip(4);
        if (height == std::numeric_limits<std::int32_t>::min()) {
            Fail("the height " + std::to_string(height) + " is not valid");
        }
        m_header.topDown = height < 0;
        m_header.height = height < 0 ? -std::int64_t{height} : height;
        const bool bitfields =
            m_header.compression == kBiBitfields || m_header.compression == kBiAlphaBitfields;
        if (size >= 52) {
            m_header.masks = {reader.U32le(), reader.U32le(), reader.U32le()};
            m_header.hasMasks = bitfields;
            reader.Seek(kFileHeaderSize + size);
        } else if (bitfields) {
            if (!reader.CanRead(12)) {
                Fail("the colour masks run past the end of the file");
            }
            m_header.masks = {reader.U32le(), reader.U32le(), reader.U32le()};
            m_header.hasMasks = true;
            if (m_header.compression == kBiAlphaBitfields) {
                reader.Skip(std::min<std::size_t>(4, reader.Remaining()));
            }
        }
        m_paletteOffset = reader.Position();
    }

    static std::string Hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", value);
        return text;
    }

    std::string MaskText() const {
        return Hex(m_header.masks.red) + "/" + Hex(m_header.masks.green) + "/" +
               Hex(m_header.masks.blue);
    }

    // Chooses the pixel format and refuses every variant that is not read.
    void CheckVariant() {
        const std::uint32_t bits = m_header.bits;
        const std::uint32_t compression = m_header.compression;
        if (compression == kBiJpeg || compression == kBiPng) {
            Fail(std::string(compression == kBiJpeg ? "JPEG" : "PNG") +
                 "-compressed BMP files are not supported");
        }
        if (bits == 1) {
            Fail("1-bit BMP files are not supported");
        }
        switch (bits) {
        case 4:
            m_format = pf4bit;
            break;
        case 8:
            m_format = pf8bit;
            break;
        case 16:
            m_format = pf15bit;
            break;
        case 24:
            m_format = pf24bit;
            break;
        case 32:
            m_format = pf32bit;
            break;
        default:
            Fail(std::to_string(bits) + "-bit BMP files are not supported");
        }
        if (m_header.headerSize == kCoreHeaderSize && bits != 4 && bits != 8 && bits != 24) {
            Fail(std::to_string(bits) + "-bit BMP files with a core header are not supported");
        }
        switch (compression) {
        case kBiRgb:
            return;
        case kBiRle8:
            if (bits != 8) {
                Fail("RLE8 compression with " + std::to_string(bits) + " bits per pixel");
            }
            return;
        case kBiRle4:
            if (bits != 4) {
                Fail("RLE4 compression with " + std::to_string(bits) + " bits per pixel");
            }
            return;
        case kBiBitfields:
        case kBiAlphaBitfields:
            break;
        default:
            Fail("BMP compression " + std::to_string(compression) + " is not supported");
        }
        const Masks& m = m_header.masks;
        if (bits == 16) {
            if (m.red == 0xF800 && m.green == 0x07E0 && m.blue == 0x001F) {
                m_format = pf16bit;
                return;
            }
            if (m.red == 0x7C00 && m.green == 0x03E0 && m.blue == 0x001F) {
                m_format = pf15bit;
                return;
            }
            Fail("16-bit BMP files with colour masks " + MaskText() + " are not supported");
        }
        if (bits == 32) {
            // Any order of whole bytes is read; the byte left over becomes the fourth byte.
            const auto byteOf = [](std::uint32_t mask) -> int {
                for (int i = 0; i < 4; ++i) {
                    if (mask == (0xFFu << (8 * i))) {
                        return i;
                    }
                }
                return -1;
            };
            const int r = byteOf(m.red);
            const int g = byteOf(m.green);
            const int b = byteOf(m.blue);
            if (r >= 0 && g >= 0 && b >= 0 && r != g && r != b && g != b) {
                m_shiftRed = 8 * r;
                m_shiftGreen = 8 * g;
                m_shiftBlue = 8 * b;
                m_shiftFourth = 8 * (6 - r - g - b);
                return;
            }
            Fail("32-bit BMP files with colour masks " + MaskText() + " are not supported");
        }
        Fail("colour masks with " + std::to_string(bits) + " bits per pixel are not supported");
    }

    void CheckSize() {
        if (m_header.width < 0) {
            Fail("the width " + std::to_string(m_header.width) + " is negative");
        }
        const auto width = static_cast<std::uint64_t>(m_header.width);
        const auto height = static_cast<std::uint64_t>(m_header.height);
        const std::string size = std::to_string(width) + " x " + std::to_string(height);
        if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
            Fail("a picture of " + size + " pixels is larger than this tool reads");
        }
        if (m_header.pixelOffset > m_bytes.size()) {
            Fail("the pixel data starts past the end of the file (offset " +
                 std::to_string(m_header.pixelOffset) + ", " + std::to_string(m_bytes.size()) +
                 " bytes)");
        }
        const std::uint64_t available = m_bytes.size() - m_header.pixelOffset;
        if (m_header.compression == kBiRle8 || m_header.compression == kBiRle4) {
            const std::uint64_t limit = std::max(kRleAlwaysAllowed, available * kRlePixelsPerByte);
            if (width * height > limit) {
                Fail("an RLE picture of " + size + " pixels cannot come from " +
                     std::to_string(available) + " bytes of data");
            }
            return;
        }
        if (width == 0 || height == 0) {
            return;
        }
        // The last row may leave out its padding.
        const std::uint64_t stride = StrideOf(width, static_cast<int>(m_header.bits));
        const std::uint64_t needed = stride * (height - 1) + (width * m_header.bits + 7) / 8;
        if (needed > available) {
            Fail("the pixel data of " + size + " pixels at " + std::to_string(m_header.bits) +
                 " bits needs " + std::to_string(needed) + " bytes, the file holds " +
                 std::to_string(available));
        }
    }

    std::vector<Rgb> ReadPalette() {
        const std::uint64_t full = PaletteLength(m_format);
        std::uint64_t count = m_header.coloursUsed == 0 ? full : m_header.coloursUsed;
        count = std::min(count, full);
        const std::uint64_t size = count * m_paletteEntrySize;
        if (m_paletteOffset > m_bytes.size() || size > m_bytes.size() - m_paletteOffset) {
            Fail("the palette of " + std::to_string(count) +
                 " entries runs past the end of the file");
        }
        ByteReader reader(m_bytes);
        reader.Seek(m_paletteOffset);
        std::vector<Rgb> palette(static_cast<std::size_t>(count));
        for (auto& entry : palette) {
            entry.b = reader.U8();
            entry.g = reader.U8();
            entry.r = reader.U8();
            reader.Skip(m_paletteEntrySize - 3);
        }
        return palette;
    }

    std::int32_t TargetRow(std::uint64_t storedRow) const {
        const auto row = static_cast<std::int32_t>(storedRow);
        return m_header.topDown ? row : static_cast<std::int32_t>(m_header.height) - 1 - row;
    }

    void ReadRows(Bitmap& bitmap) const {
        const auto width = static_cast<std::size_t>(m_header.width);
        const auto height = static_cast<std::uint64_t>(m_header.height);
        if (width == 0 || height == 0) {
            return;
        }
        const std::uint64_t stride = StrideOf(width, static_cast<int>(m_header.bits));
        const std::size_t rowBytes = (width * m_header.bits + 7) / 8;
        ByteReader reader(m_bytes);
        for (std::uint64_t stored = 0; stored < height; ++stored) {
            reader.Seek(m_header.pixelOffset + stored * stride);
            const auto in = reader.Bytes(rowBytes);
            std::uint8_t* out = bitmap.ScanLine(TargetRow(stored));
            if (m_format != pf32bit || !m_header.hasMasks) {
                std::memcpy(out, in.data(), rowBytes);
                // The unused low nibble that ends an odd 4-bit row is not kept.
                if (width * m_header.bits % 8 != 0) {
                    out[rowBytes - 1] &= 0xF0;
                }
                continue;
            }
            for (std::size_t x = 0; x < width; ++x) {
                const std::uint8_t* p = in.data() + 4 * x;
                const std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                                        (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
                out[4 * x] = static_cast<std::uint8_t>(v >> m_shiftBlue);
                out[4 * x + 1] = static_cast<std::uint8_t>(v >> m_shiftGreen);
                out[4 * x + 2] = static_cast<std::uint8_t>(v >> m_shiftRed);
                out[4 * x + 3] = static_cast<std::uint8_t>(v >> m_shiftFourth);
            }
        }
    }

    // RLE8 and RLE4 streams are pairs of bytes. A first byte n > 0 repeats the second byte n times
    // (RLE4: its high and low nibbles alternately). A first byte 0 is an escape: 0 ends the row,
    // 1 ends the picture, 2 moves right and down (the rows are in stored order) by the next two
    // bytes, and n >= 3 is followed by n literal pixels padded to a 16-bit boundary. Pixels the
    // stream does not set stay 0. A run past the end of its row or past the last row is refused.
    void ReadRle(Bitmap& bitmap) const {
        const bool four = m_header.compression == kBiRle4;
        const std::uint64_t width = static_cast<std::uint64_t>(m_header.width);
        const std::uint64_t height = static_cast<std::uint64_t>(m_header.height);
        ByteReader reader(m_bytes);
        reader.Seek(m_header.pixelOffset);
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        const auto place = [&](std::uint64_t count) {
            if (y >= height) {
                Fail("the RLE data runs past the last row");
            }
            if (count > width - x) {
                Fail("the RLE data runs past the end of row " + std::to_string(y));
            }
        };
        for (;;) {
            if (reader.Remaining() < 2) {
                if (reader.Remaining() == 0 && y >= height) {
                    return; // every row was ended; the end-of-picture code is missing
                }
                Fail("the RLE data ends before its end-of-picture code");
            }
            const std::uint8_t first = reader.U8();
            const std::uint8_t second = reader.U8();
            if (first > 0) {
                place(first);
                const std::int32_t row = TargetRow(y);
                for (std::uint32_t i = 0; i < first; ++i) {
                    const std::uint32_t value =
                        four ? ((i % 2 == 0) ? (second >> 4) : (second & 0x0F)) : second;
                    bitmap.SetPixelValue(static_cast<std::int32_t>(x + i), row, value);
                }
                x += first;
                continue;
            }
            switch (second) {
            case 0:
                x = 0;
                ++y;
                break;
            case 1:
                return;
            case 2: {
                if (!reader.CanRead(2)) {
                    Fail("the RLE data ends inside a move");
                }
                const std::uint8_t right = reader.U8();
                const std::uint8_t down = reader.U8();
                x += right;
                y += down;
                if (x > width) {
                    Fail("an RLE move runs past the end of row " + std::to_string(y));
                }
                break;
            }
            default: {
                const std::uint32_t count = second;
                const std::uint32_t bytes = four ? (count + 1) / 2 : count;
                const std::uint32_t padded = bytes + (bytes % 2);
                if (!reader.CanRead(padded)) {
                    Fail("an RLE literal run of " + std::to_string(count) +
                         " pixels runs past the end of the file");
                }
                place(count);
                const auto literal = reader.Bytes(padded);
                const std::int32_t row = TargetRow(y);
                for (std::uint32_t i = 0; i < count; ++i) {
                    const std::uint8_t byte = literal[four ? i / 2 : i];
                    const std::uint32_t value =
                        four ? ((i % 2 == 0) ? (byte >> 4) : (byte & 0x0F)) : byte;
                    bitmap.SetPixelValue(static_cast<std::int32_t>(x + i), row, value);
                }
                x += count;
                break;
            }
            }
        }
    }

    std::span<const std::uint8_t> m_bytes;
    const std::string& m_name;
    BmpHeader m_header;
    PixelFormat m_format = pf24bit;
    std::uint64_t m_paletteOffset = 0;
    std::uint32_t m_paletteEntrySize = 4;
    int m_shiftRed = 16;
    int m_shiftGreen = 8;
    int m_shiftBlue = 0;
    int m_shiftFourth = 24;
};

} // namespace

Bitmap Bitmap::LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
    return BmpReader(bytes, name).Read();
}

Bitmap Bitmap::LoadFromFile(const std::string& path) {
    FileStream file = FileStream::Open(path, omRead);
    const std::uint64_t size = file.Size();
    if (size > std::numeric_limits<std::size_t>::max() / 2) {
        throw CorruptFileError(path, "the file is too large for a BMP file");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.ReadExact(bytes.data(), bytes.size());
    file.Close();
    return LoadFromBytes(bytes, path);
}

// Written files have a 40-byte BITMAPINFOHEADER, rows bottom-up and the full palette of 16 or
// 256 entries. The 5-6-5 format is marked with BI_BITFIELDS masks after the header; 5-5-5 words
// and 32-bit pixels are plain BI_RGB.
std::vector<std::uint8_t> Bitmap::SaveToBytes() const {
    const std::uint64_t masksSize = m_format == pf16bit ? 12 : 0;
    const std::uint64_t paletteSize = PaletteLength(m_format) * 4;
    const std::uint64_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + masksSize + paletteSize;
    const std::uint64_t imageSize = static_cast<std::uint64_t>(m_stride) * m_height;
    const std::uint64_t fileSize = pixelOffset + imageSize;
    if (fileSize > std::numeric_limits<std::uint32_t>::max()) {
        throw FileWriteError("(bitmap " + std::to_string(m_width) + " x " +
                                 std::to_string(m_height) + ")",
                             "too large for a BMP file");
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(fileSize));
    out.push_back('B');
    out.push_back('M');
    AppendU32le(out, static_cast<std::uint32_t>(fileSize));
    AppendU32le(out, 0);
    AppendU32le(out, static_cast<std::uint32_t>(pixelOffset));

    AppendU32le(out, kInfoHeaderSize);
    AppendU32le(out, static_cast<std::uint32_t>(m_width));
    AppendU32le(out, static_cast<std::uint32_t>(m_height));
    AppendU16le(out, 1);
    AppendU16le(out, static_cast<std::uint32_t>(BitsPerPixel(m_format)));
    AppendU32le(out, m_format == pf16bit ? kBiBitfields : kBiRgb);
    AppendU32le(out, static_cast<std::uint32_t>(imageSize));
    AppendU32le(out, 2835); // 72 pixels per inch
    AppendU32le(out, 2835);
    AppendU32le(out, static_cast<std::uint32_t>(PaletteLength(m_format)));
    AppendU32le(out, 0);
    if (m_format == pf16bit) {
        AppendU32le(out, 0xF800);
        AppendU32le(out, 0x07E0);
        AppendU32le(out, 0x001F);
    }
    for (const Rgb& entry : m_palette) {
        out.push_back(entry.b);
        out.push_back(entry.g);
        out.push_back(entry.r);
        out.push_back(0);
    }
    for (std::int32_t row = m_height - 1; row >= 0; --row) {
        const std::uint8_t* line = ScanLine(row);
        out.insert(out.end(), line, line + m_stride);
    }
    return out;
}

// The file is written beside the target under a temporary name and renamed over it, so that a
// failure leaves either the old file or none, never half a picture.
void Bitmap::SaveToFile(const std::string& path) const {
    const std::vector<std::uint8_t> bytes = SaveToBytes();
    PendingFile file(path);
    file.WriteAll(bytes);
    file.Commit();
}

} // namespace eitool
