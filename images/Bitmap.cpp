#include "images/Bitmap.h"

#include "common/ByteReader.h"
#include "common/ByteWriter.h"
#include "images/BitmapLayout.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace eitool {

namespace {

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
    decltype(m_pixels) pixels(stride * static_cast<std::size_t>(height), 0);
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

void Bitmap::SetSizeForOverwrite(std::int32_t width, std::int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    const int bits = BitsPerPixel(m_format);
    const auto stride = static_cast<std::size_t>(StrideOf(static_cast<std::uint64_t>(width), bits));
    m_pixels.resize(stride * static_cast<std::size_t>(height));
    m_width = width;
    m_height = height;
    m_stride = stride;
    const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
    for (std::int32_t row = 0; used < stride && row < height; ++row) {
        std::memset(ScanLine(row) + used, 0, stride - used);
    }
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
    const std::span<const std::uint8_t> row(ScanLine(y), m_stride);
    const auto ux = static_cast<std::size_t>(x);
    switch (m_format) {
    case pf4bit: {
        const std::uint8_t pair = row[ux / 2];
        return (ux % 2 == 0) ? (pair >> 4) : (pair & 0x0F);
    }
    case pf8bit:
        return row[ux];
    case pf15bit:
    case pf16bit:
        return LoadU16le(row, ux * 2);
    case pf24bit:
        return static_cast<std::uint32_t>(LoadLe(row, ux * 3, 3));
    case pf32bit:
        return LoadU32le(row, ux * 4);
    }
    return 0;
}

void Bitmap::SetPixelValue(std::int32_t x, std::int32_t y, std::uint32_t value) {
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
    const std::span<std::uint8_t> row(ScanLine(y), m_stride);
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
        StoreU16le(row, ux * 2, static_cast<std::uint16_t>(value));
        return;
    case pf24bit:
        StoreLe(row, ux * 3, value, 3);
        return;
    case pf32bit:
        StoreU32le(row, ux * 4, value);
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

} // namespace eitool
