#include "samples/SampleTexture.h"

#include "common/ByteWriter.h"

#include <algorithm>
#include <random>

#include "images/Ps2util.h"

namespace eitool::samples {

namespace {

std::size_t LevelBytes(const TextureLevel& level, int depth) {
    const auto pixels = static_cast<std::size_t>(level.width) * static_cast<std::size_t>(level.height);
    return depth == 4 ? pixels / 2 : pixels;
}

} // namespace

SampleTexture MakeSampleTexture(int depth, std::int32_t top, std::int32_t smallest,
                                std::uint32_t seed) {
    std::mt19937 random(seed);
    SampleTexture texture;
    texture.depth = depth;
    const int entries = depth == 4 ? 16 : 256;
    texture.palette.resize(static_cast<std::size_t>(entries) * 4);
    for (auto& byte : texture.palette) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::int32_t size = top; size >= smallest && size > 0; size /= 2) {
        TextureLevel level{size, size, {}};
        level.linear.resize(LevelBytes(level, depth));
        for (auto& byte : level.linear) {
            byte = static_cast<std::uint8_t>(random());
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
