#include "samples/SampleTexture.h"

#include "common/ByteWriter.h"
#include "images/ExtendedImage.h"
#include "images/Ps2util.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

namespace eitool::samples {

namespace {

std::size_t LevelBytes(const TextureLevel& level, int depth) {
    const auto pixels =
        static_cast<std::size_t>(level.width) * static_cast<std::size_t>(level.height);
    return depth == 4 ? pixels / 2 : pixels;
}

// What the levels show: concentric rings around a centre (in fractions of the side), a black
// cross through that centre and a white frame with a black inner edge along the sides. Every level
// draws it at its own size, so the mipmaps are the same picture scaled down.
struct Picture {
    double centreX = 0.5;
    double centreY = 0.5;
    int rings = 6;    // rings from the centre to the nearest edge
    int huePhase = 0; // the hue of the innermost ring
};

// Eight hues; a 256-colour palette holds 32 shades of each (index hue * 32 + shade), a 16-colour
// one the first seven in a bright and a dark shade from index 1 on.
constexpr std::uint8_t kHues[8][3] = {
    {230, 40, 40},  {240, 140, 20}, {235, 215, 30}, {60, 190, 60},
    {40, 200, 210}, {50, 90, 230},  {140, 60, 220}, {220, 60, 170},
};
constexpr std::uint8_t kAlpha = 0x80; // opaque on the console

std::uint8_t Shaded(std::uint8_t value, int shade, int shades) {
    return static_cast<std::uint8_t>(value * (shade + 1) / shades);
}

// The palette in the console's storage order: index 0 black, the last index white, the hues
// between them.
std::vector<std::uint8_t> PictureClut(int entries) {
    std::vector<std::uint8_t> clut;
    for (int i = 0; i < entries; ++i) {
        int hue = 0;
        int shade = 0;
        int shades = 1;
        if (entries == 256) {
            hue = i / 32;
            shade = i % 32;
            shades = 32;
        } else {
            hue = ((i - 1) / 2) % 8;
            shade = (i - 1) % 2 == 0 ? 1 : 0;
            shades = 2;
        }
        const bool black = i == 0;
        const bool white = i == entries - 1;
        for (int c = 0; c < 3; ++c) {
            clut.push_back(black ? 0 : white ? 255 : Shaded(kHues[hue][c], shade, shades));
        }
        clut.push_back(kAlpha);
    }
    // NOTE: the exchange of runs of eight entries undoes itself, so applying it to the palette in
    // index order gives the storage order (the grey rule does not apply to these colours).
    ReorderClut(clut, entries, 4);
    return clut;
}

std::uint8_t PictureIndex(const Picture& picture, int entries, std::int32_t size, std::int32_t x,
                          std::int32_t y) {
    const std::int32_t line = std::max(1, size / 32);
    const auto cx = static_cast<std::int32_t>(picture.centreX * size);
    const auto cy = static_cast<std::int32_t>(picture.centreY * size);
    const std::int32_t edge = std::min({x, y, size - 1 - x, size - 1 - y});
    if (edge < line) {
        return static_cast<std::uint8_t>(entries - 1);
    }
    if (edge < line + std::max(1, line / 2) || std::abs(x - cx) < line || std::abs(y - cy) < line) {
        return 0;
    }
    // Distance from the centre in rings; each ring one hue, shaded like a tube in 256 colours.
    const double dx = (x + 0.5) / size - picture.centreX;
    const double dy = (y + 0.5) / size - picture.centreY;
    const double rings = std::sqrt(dx * dx + dy * dy) * 2.0 * picture.rings;
    const int ring = static_cast<int>(rings);
    if (entries == 16) {
        // Seven hues between black and white, bright and dark in turn.
        const int hue = (ring + picture.huePhase) % 7;
        return static_cast<std::uint8_t>(1 + 2 * hue + ring % 2);
    }
    const int hue = (ring + picture.huePhase) % 8;
    const double across = rings - ring;
    const int shade = 2 + static_cast<int>(28.0 * std::sin(across * 3.14159265358979));
    return static_cast<std::uint8_t>(hue * 32 + shade);
}

} // namespace

SampleTexture MakeSampleTexture(int depth, std::int32_t top, std::int32_t smallest,
                                std::uint32_t seed) {
    std::mt19937 random(seed);
    Picture picture;
    picture.centreX = 0.35 + 0.3 * (random() % 1000) / 1000.0;
    picture.centreY = 0.35 + 0.3 * (random() % 1000) / 1000.0;
    picture.rings = 5 + static_cast<int>(random() % 5);
    picture.huePhase = static_cast<int>(random() % 8);

    SampleTexture texture;
    texture.depth = depth;
    const int entries = depth == 4 ? 16 : 256;
    texture.palette = PictureClut(entries);
    for (std::int32_t size = top; size >= smallest && size > 0; size /= 2) {
        TextureLevel level{size, size, {}};
        level.linear.assign(LevelBytes(level, depth), 0);
        for (std::int32_t y = 0; y < size; ++y) {
            for (std::int32_t x = 0; x < size; ++x) {
                const std::uint8_t index = PictureIndex(picture, entries, size, x, y);
                const std::size_t at =
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                    static_cast<std::size_t>(x);
                if (depth == 8) {
                    level.linear[at] = index;
                } else {
                    level.linear[at / 2] |=
                        static_cast<std::uint8_t>(index << (x % 2 == 0 ? 0 : 4));
                }
            }
        }
        texture.levels.push_back(std::move(level));
    }
    return texture;
}

std::vector<std::uint8_t> BuildExtendedImage(const SampleTexture& texture) {
    const std::size_t levelCount = texture.levels.size();
    const bool table = texture.levelTable && levelCount > 0;
    // Without a level table the one level's pixels start right after the header, so the palette
    // goes behind them; with a table the palette follows the table and the levels follow it.
    const std::size_t used = table ? levelCount : std::min<std::size_t>(levelCount, 1);
    const std::size_t tableBytes = table ? levelCount * 8 : 0;
    std::size_t dataBytes = 0;
    for (std::size_t i = 0; i < used; ++i) {
        dataBytes += LevelBytes(texture.levels[i], texture.depth);
    }
    std::vector<std::uint8_t> out(32 + tableBytes + texture.palette.size() + dataBytes, 0);
    out[0] = 'S';
    out[1] = 'M';
    out[2] = 'P';
    out[3] = 'L';
    const std::size_t paletteAt = table ? tableBytes : dataBytes; // counted from offset 32
    StoreU32le(out, 8, static_cast<std::uint32_t>(paletteAt));
    StoreU32le(out, 12, static_cast<std::uint32_t>(texture.palette.size()));
    if (!texture.levels.empty()) {
        StoreU16le(out, 16, static_cast<std::uint32_t>(texture.levels[0].width));
        StoreU16le(out, 18, static_cast<std::uint32_t>(texture.levels[0].height));
    }
    out[30] = 1;
    out[31] = table ? static_cast<std::uint8_t>(levelCount - 1) : 0;
    std::copy(texture.palette.begin(), texture.palette.end(),
              out.begin() + static_cast<std::ptrdiff_t>(32 + paletteAt));

    std::size_t dataAt = table ? paletteAt + texture.palette.size() : 0; // counted from 32
    for (std::size_t i = 0; i < used; ++i) {
        const TextureLevel& level = texture.levels[i];
        if (table) {
            StoreU32le(out, 32 + 8 * i, static_cast<std::uint32_t>(dataAt));
            StoreU16le(out, 32 + 8 * i + 4, static_cast<std::uint32_t>(level.width));
            StoreU16le(out, 32 + 8 * i + 6, static_cast<std::uint32_t>(level.height));
        }
        std::uint8_t* target = out.data() + 32 + dataAt;
        if (IsSupportedTextureSize(level.width, level.height, texture.depth)) {
            if (texture.depth == 4) {
                SwizzleImage4(level.width, level.height, level.linear.data(), target);
            } else {
                SwizzleImage8(level.width, level.height, level.linear.data(), target);
            }
        } else {
            std::copy(level.linear.begin(), level.linear.end(), target);
        }
        dataAt += LevelBytes(level, texture.depth);
    }
    return out;
}

} // namespace eitool::samples
