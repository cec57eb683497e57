#include "samples/SampleTexture.h"

#include "images/ExtendedImage.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace eitool::samples {
namespace {

std::uint32_t PixelAt(const SampleTexture& texture, const TextureLevel& level, std::int32_t x,
                      std::int32_t y) {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(level.width) +
                           static_cast<std::size_t>(x);
    return texture.depth == 8 ? level.linear[at] : (level.linear[at / 2] >> (x % 2 * 4)) & 0x0Fu;
}

TEST(SampleTexture, EveryLevelShowsTheFramedPictureInBlackAndWhite) {
    for (const int depth : {4, 8}) {
        const SampleTexture texture = MakeSampleTexture(depth, 128, 8, 3);
        ASSERT_EQ(texture.levels.size(), 5u);
        const std::uint32_t white = depth == 4 ? 15 : 255;
        std::vector<std::uint8_t> clut = texture.palette;
        ReorderClut(clut, static_cast<int>(clut.size() / 4), 4);
        const std::vector<Rgb> colours = MakePalette(static_cast<int>(clut.size() / 4), clut);
        EXPECT_EQ(colours.front(), (Rgb{0, 0, 0}));
        EXPECT_EQ(colours.back(), (Rgb{255, 255, 255}));

        for (const TextureLevel& level : texture.levels) {
            const std::int32_t n = level.width;
            const std::int32_t line = std::max(1, n / 32);
            ASSERT_EQ(level.linear.size(), static_cast<std::size_t>(n * n * depth / 8));
            std::set<std::uint32_t> inside;
            for (std::int32_t i = 0; i < n; ++i) {
                // The white frame, and its black inner edge.
                EXPECT_EQ(PixelAt(texture, level, i, 0), white) << n;
                EXPECT_EQ(PixelAt(texture, level, n - line, i), white) << n;
                if (i > line && i < n - 1 - line) {
                    EXPECT_EQ(PixelAt(texture, level, i, n - 1 - line), 0u) << n;
                }
                for (std::int32_t j = 2 * line; j < n - 2 * line; ++j) {
                    inside.insert(PixelAt(texture, level, i, j));
                }
            }
            EXPECT_GE(inside.size(), n >= 64 ? 8u : 3u) << n << ": rings of several colours";
        }
    }
}

TEST(SampleTexture, TheSeedMovesThePictureAndTheSameSeedRepeatsIt) {
    const SampleTexture a = MakeSampleTexture(8, 64, 32, 7);
    EXPECT_EQ(MakeSampleTexture(8, 64, 32, 7).levels[0].linear, a.levels[0].linear);
    EXPECT_NE(MakeSampleTexture(8, 64, 32, 8).levels[0].linear, a.levels[0].linear);
}

} // namespace
} // namespace eitool::samples
