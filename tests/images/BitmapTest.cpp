#include "images/Bitmap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace eitool {
namespace {

const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
const Rgb kRed{255, 0, 0};

Bitmap MakeBitmap(PixelFormat format, std::int32_t width, std::int32_t height) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    return bitmap;
}

std::vector<Rgb> RandomPalette(std::size_t count, std::mt19937& random) {
    std::vector<Rgb> palette(count);
    for (auto& entry : palette) {
        entry = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                 static_cast<std::uint8_t>(random())};
    }
    return palette;
}

// A palette of distinct greys 0, 17, 34 ... so that nearest entries are easy to predict.
std::vector<Rgb> GreyPalette16() {
    std::vector<Rgb> palette;
    for (int i = 0; i < 16; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 17);
        palette.push_back({v, v, v});
    }
    return palette;
}

std::set<std::pair<int, int>> PixelsOfValue(const Bitmap& bitmap, std::uint32_t value) {
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
            if (bitmap.PixelValue(x, y) == value) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

TEST(BitmapLayout, FourBitRowKeepsTheLeftPixelInTheHighNibble) {
    Bitmap bitmap = MakeBitmap(pf4bit, 3, 1);
    bitmap.SetPixelValue(0, 0, 0xA);
    bitmap.SetPixelValue(1, 0, 0x5);
    bitmap.SetPixelValue(2, 0, 0xC);
    EXPECT_EQ(bitmap.ScanLine(0)[0], 0xA5);
    EXPECT_EQ(bitmap.ScanLine(0)[1], 0xC0);
    bitmap.ScanLine(0)[1] = 0x3F;
    EXPECT_EQ(bitmap.PixelValue(2, 0), 0x3u);
}

TEST(BitmapLayout, WordsAndTripletsAreStoredLittleEndianBlueFirst) {
    Bitmap words = MakeBitmap(pf16bit, 2, 1);
    words.SetPixelValue(1, 0, 0xF800);
    EXPECT_EQ(words.ScanLine(0)[2], 0x00);
    EXPECT_EQ(words.ScanLine(0)[3], 0xF8);

    Bitmap triplets = MakeBitmap(pf24bit, 2, 1);
    triplets.SetPixelColor(1, 0, {0x11, 0x22, 0x33});
    EXPECT_EQ(triplets.ScanLine(0)[3], 0x33); // blue
    EXPECT_EQ(triplets.ScanLine(0)[4], 0x22); // green
    EXPECT_EQ(triplets.ScanLine(0)[5], 0x11); // red
    EXPECT_EQ(triplets.PixelValue(1, 0), 0x112233u);

    Bitmap quads = MakeBitmap(pf32bit, 1, 1);
    quads.SetPixelValue(0, 0, 0x80112233u);
    EXPECT_EQ(quads.ScanLine(0)[0], 0x33);
    EXPECT_EQ(quads.ScanLine(0)[3], 0x80);
    EXPECT_EQ(quads.PixelColor(0, 0), (Rgb{0x11, 0x22, 0x33}));
}

TEST(BitmapFormat, IndexedFormatsHaveFullPalettesOthersNone) {
    Bitmap bitmap = MakeBitmap(pf8bit, 4, 2);
    EXPECT_EQ(bitmap.Palette().size(), 256u);
    bitmap.SetPalette({kRed, kWhite});
    EXPECT_EQ(bitmap.Palette().size(), 256u);
    EXPECT_EQ(bitmap.Palette()[1], kWhite);
    EXPECT_EQ(bitmap.Palette()[2], kBlack);

    bitmap.SetPixelFormat(pf4bit);
    EXPECT_EQ(bitmap.Width(), 4);
    EXPECT_EQ(bitmap.Height(), 2);
    ASSERT_EQ(bitmap.Palette().size(), 16u);
    EXPECT_EQ(bitmap.Palette()[0], kRed);
    bitmap.SetPalette(std::vector<Rgb>(40, kWhite));
    EXPECT_EQ(bitmap.Palette().size(), 16u);

    bitmap.SetPixelFormat(pf24bit);
    EXPECT_TRUE(bitmap.Palette().empty());
    EXPECT_EQ(bitmap.Width(), 4);
}

TEST(BitmapSize, WidthChangeOfAnEightBitBitmapKeepsPaletteAndPixels) {
    std::mt19937 random(7);
    Bitmap bitmap = MakeBitmap(pf8bit, 5, 4);
    const auto palette = RandomPalette(256, random);
    bitmap.SetPalette(palette);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            bitmap.SetPixelValue(x, y, static_cast<std::uint32_t>(10 * y + x + 1));
        }
    }
    bitmap.SetWidth(9);
    EXPECT_EQ(bitmap.Palette(), palette);
    EXPECT_EQ(bitmap.Format(), pf8bit);
    EXPECT_EQ(bitmap.PixelValue(4, 3), 35u);
    EXPECT_EQ(bitmap.PixelValue(8, 3), 0u);
    bitmap.SetWidth(2);
    bitmap.SetHeight(6);
    EXPECT_EQ(bitmap.Palette(), palette);
    EXPECT_EQ(bitmap.PixelValue(1, 2), 22u);
    EXPECT_EQ(bitmap.PixelValue(1, 5), 0u);
}

TEST(BitmapSize, PixelsRevealedByGrowingAreZeroEvenInsideACutNibblePair) {
    Bitmap bitmap = MakeBitmap(pf4bit, 4, 1);
    for (int x = 0; x < 4; ++x) {
        bitmap.SetPixelValue(x, 0, 0xF);
    }
    bitmap.SetWidth(3);
    bitmap.SetWidth(4);
    EXPECT_EQ(bitmap.PixelValue(2, 0), 0xFu);
    EXPECT_EQ(bitmap.PixelValue(3, 0), 0u);
}

// A size for overwriting keeps format and palette and clears only the padding after each row,
// also when it reuses the memory of a larger size that held other pixels.
TEST(BitmapSize, SizeForOverwriteClearsOnlyTheRowPadding) {
    std::mt19937 random(8);
    Bitmap bitmap = MakeBitmap(pf4bit, 16, 8);
    const auto palette = RandomPalette(16, random);
    bitmap.SetPalette(palette);
    for (int y = 0; y < 8; ++y) {
        std::fill_n(bitmap.ScanLine(y), bitmap.RowBytes(), 0xFF);
    }
    bitmap.SetSizeForOverwrite(3, 2);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.RowBytes(), 4u);
    EXPECT_EQ(bitmap.Format(), pf4bit);
    EXPECT_EQ(bitmap.Palette(), palette);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(bitmap.ScanLine(y)[2], 0);
        EXPECT_EQ(bitmap.ScanLine(y)[3], 0);
    }
}

TEST(BitmapColour, PixelColorOfAnIndexedPixelIsItsPaletteColour) {
    Bitmap bitmap = MakeBitmap(pf8bit, 2, 1);
    std::vector<Rgb> palette(256, kBlack);
    palette[7] = {10, 200, 30};
    bitmap.SetPalette(palette);
    bitmap.SetPixelValue(1, 0, 7);
    EXPECT_EQ(bitmap.PixelColor(1, 0), (Rgb{10, 200, 30}));
    EXPECT_EQ(bitmap.PixelColor(0, 0), kBlack);
}

TEST(BitmapColour, SixteenBitChannelsExpandByRepeatingTheirTopBits) {
    Bitmap bitmap = MakeBitmap(pf16bit, 1, 1);
    bitmap.SetPixelValue(0, 0, 0xFFFF);
    EXPECT_EQ(bitmap.PixelColor(0, 0), kWhite);
    bitmap.SetPixelValue(0, 0, (0x10u << 11) | (0x21u << 5) | 0x01u);
    EXPECT_EQ(bitmap.PixelColor(0, 0), (Rgb{0x84, 0x86, 0x08}));

    Bitmap fifteen = MakeBitmap(pf15bit, 1, 1);
    fifteen.SetPixelValue(0, 0, 0x7FFF);
    EXPECT_EQ(fifteen.PixelColor(0, 0), kWhite);
    fifteen.SetPixelValue(0, 0, (0x10u << 10) | (0x01u << 5) | 0x1Eu);
    EXPECT_EQ(fifteen.PixelColor(0, 0), (Rgb{0x84, 0x08, 0xF7}));
}

TEST(BitmapColour, EveryFifteenAndSixteenBitWordSurvivesAColourRoundTrip) {
    Bitmap fifteen = MakeBitmap(pf15bit, 1, 1);
    Bitmap sixteen = MakeBitmap(pf16bit, 1, 1);
    for (std::uint32_t word = 0; word < 0x10000; ++word) {
        sixteen.SetPixelValue(0, 0, word);
        ASSERT_EQ(sixteen.ValueOfColor(sixteen.PixelColor(0, 0)), word) << word;
        if (word < 0x8000) {
            fifteen.SetPixelValue(0, 0, word);
            ASSERT_EQ(fifteen.ValueOfColor(fifteen.PixelColor(0, 0)), word) << word;
        }
    }
}

TEST(BitmapColour, NearestIndexUsesSquaredDistanceAndTheLowestIndexOnATie) {
    Bitmap bitmap = MakeBitmap(pf4bit, 1, 1);
    std::vector<Rgb> palette(16, {9, 9, 9});
    palette[3] = {100, 0, 0};
    palette[5] = {0, 100, 0};
    palette[9] = {100, 0, 0};
    bitmap.SetPalette(palette);
    EXPECT_EQ(bitmap.NearestIndex({90, 0, 0}), 3);
    EXPECT_EQ(bitmap.NearestIndex({0, 80, 10}), 5);
    EXPECT_EQ(bitmap.NearestIndex({9, 9, 9}), 0);

    // Squared distance: (25, 25, 25) is at 1875 from black, (60, 0, 0) at 3600, although the
    // sum of the channel differences would prefer the latter (60 against 75).
    std::vector<Rgb> far(16, {200, 200, 200});
    far[1] = {60, 0, 0};
    far[2] = {25, 25, 25};
    bitmap.SetPalette(far);
    EXPECT_EQ(bitmap.NearestIndex(kBlack), 2);
}

TEST(BitmapCanvas, FillRectIsClippedAndUsesTheNearestEntry) {
    Bitmap bitmap = MakeBitmap(pf4bit, 5, 4);
    bitmap.SetPalette(GreyPalette16());
    bitmap.FillRect({3, -2, 9, 2}, {40, 40, 40}); // nearest grey: 34, index 2
    std::set<std::pair<int, int>> expected = {{3, 0}, {4, 0}, {3, 1}, {4, 1}};
    EXPECT_EQ(PixelsOfValue(bitmap, 2), expected);

    Bitmap rgb = MakeBitmap(pf24bit, 3, 3);
    rgb.FillRect({1, 1, 1, 3}, kRed); // empty rectangle
    rgb.FillRect({2, 2, 1, 1}, kRed); // inverted rectangle
    EXPECT_EQ(PixelsOfValue(rgb, 0xFF0000).size(), 0u);
}

TEST(BitmapCanvas, LineLeavesOutItsEndPoint) {
    Bitmap bitmap = MakeBitmap(pf24bit, 8, 8);
    bitmap.DrawLine(0, 2, 0, 6, kWhite);
    std::set<std::pair<int, int>> expected = {{0, 2}, {0, 3}, {0, 4}, {0, 5}};
    EXPECT_EQ(PixelsOfValue(bitmap, 0xFFFFFF), expected);

    Bitmap across = MakeBitmap(pf24bit, 8, 8);
    across.DrawLine(6, 1, 2, 1, kWhite);
    expected = {{6, 1}, {5, 1}, {4, 1}, {3, 1}};
    EXPECT_EQ(PixelsOfValue(across, 0xFFFFFF), expected);

    Bitmap point = MakeBitmap(pf24bit, 4, 4);
    point.DrawLine(2, 2, 2, 2, kWhite);
    EXPECT_TRUE(PixelsOfValue(point, 0xFFFFFF).empty());
}

TEST(BitmapCanvas, SlopedLinesStepOncePerMajorPixelAndStayNearTheIdealLine) {
    const std::vector<std::array<int, 4>> lines = {{0, 0, 7, 3}, {7, 3, 0, 0}, {1, 9, 4, 0},
                                                   {0, 0, 5, 5}, {9, 0, 0, 9}, {2, 8, 9, 6}};
    for (const auto& [x0, y0, x1, y1] : lines) {
        Bitmap bitmap = MakeBitmap(pf24bit, 10, 10);
        bitmap.DrawLine(x0, y0, x1, y1, kWhite);
        const auto pixels = PixelsOfValue(bitmap, 0xFFFFFF);
        const int dx = std::abs(x1 - x0);
        const int dy = std::abs(y1 - y0);
        EXPECT_EQ(static_cast<int>(pixels.size()), std::max(dx, dy));
        EXPECT_TRUE(pixels.count({x0, y0}));
        EXPECT_FALSE(pixels.count({x1, y1}));
        for (const auto& [x, y] : pixels) {
            // Distance from the ideal line, measured along the minor axis, is at most half a pixel.
            if (dx >= dy) {
                const double ideal = y0 + double(y1 - y0) * (x - x0) / (x1 - x0);
                EXPECT_LE(std::abs(y - ideal), 0.5 + 1e-9) << x << "," << y;
            } else {
                const double ideal = x0 + double(x1 - x0) * (y - y0) / (y1 - y0);
                EXPECT_LE(std::abs(x - ideal), 0.5 + 1e-9) << x << "," << y;
            }
        }
    }
}

TEST(BitmapCanvas, LineInAnIndexedFormatUsesTheNearestEntryAndIsClipped) {
    Bitmap bitmap = MakeBitmap(pf8bit, 4, 4);
    std::vector<Rgb> palette(256, kBlack);
    palette[200] = {250, 250, 240};
    bitmap.SetPalette(palette);
    bitmap.DrawLine(-3, 1, 10, 1, kWhite);
    std::set<std::pair<int, int>> expected = {{0, 1}, {1, 1}, {2, 1}, {3, 1}};
    EXPECT_EQ(PixelsOfValue(bitmap, 200), expected);
}

TEST(BitmapCopy, TrueColourToIndexedPicksNearestEntriesAndClipsToBothBitmaps) {
    Bitmap source = MakeBitmap(pf24bit, 4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const auto v = static_cast<std::uint8_t>(30 * x + 100 * y);
            source.SetPixelColor(x, y, {v, v, static_cast<std::uint8_t>(v + 5)});
        }
    }
    Bitmap target = MakeBitmap(pf8bit, 4, 3);
    std::vector<Rgb> palette(256, {255, 0, 255});
    for (int i = 0; i < 16; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 17);
        palette[static_cast<std::size_t>(i) + 16] = {v, v, v};
    }
    target.SetPalette(palette);
    target.FillRect({0, 0, 4, 3}, {255, 0, 255}); // index 0
    // The rectangle hangs off the target's right edge and starts left of the source.
    target.CopyRect({1, 1, 6, 3}, source, {-1, 0, 4, 2});
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int sx = x - 2;
            const int sy = y - 1;
            if (sx < 0 || y < 1) {
                EXPECT_EQ(target.PixelValue(x, y), 0u) << x << "," << y;
                continue;
            }
            const Rgb colour = source.PixelColor(sx, sy);
            const std::uint32_t expected = 16u + (colour.r + 8u) / 17u;
            EXPECT_EQ(target.PixelValue(x, y), expected) << x << "," << y;
        }
    }
}

TEST(BitmapCopy, SameFormatAndPaletteCopiesIndicesEvenWhenEntriesRepeat) {
    std::vector<Rgb> palette(16, kBlack);
    palette[3] = kRed;
    palette[7] = kRed;
    Bitmap source = MakeBitmap(pf4bit, 5, 1);
    source.SetPalette(palette);
    for (int x = 0; x < 5; ++x) {
        source.SetPixelValue(x, 0, 7);
    }
    Bitmap target = MakeBitmap(pf4bit, 6, 1);
    target.SetPalette(palette);
    target.CopyRect({1, 0, 4, 1}, source, {2, 0, 5, 1}); // odd offsets inside nibble pairs
    EXPECT_EQ(target.PixelValue(0, 0), 0u);
    EXPECT_EQ(target.PixelValue(1, 0), 7u);
    EXPECT_EQ(target.PixelValue(3, 0), 7u);
    EXPECT_EQ(target.PixelValue(4, 0), 0u);

    palette[0] = {1, 1, 1}; // a different palette: colours are matched, red is entry 3 first
    target.SetPalette(palette);
    target.CopyRect({0, 0, 1, 1}, source, {0, 0, 1, 1});
    EXPECT_EQ(target.PixelValue(0, 0), 3u);
}

TEST(BitmapCopy, OverlappingCopyWithinOneBitmapReadsTheOriginalPixels) {
    Bitmap bitmap = MakeBitmap(pf8bit, 6, 1);
    for (int x = 0; x < 6; ++x) {
        bitmap.SetPixelValue(x, 0, static_cast<std::uint32_t>(x + 1));
    }
    bitmap.CopyRect({1, 0, 6, 1}, bitmap, {0, 0, 5, 1});
    for (int x = 1; x < 6; ++x) {
        EXPECT_EQ(bitmap.PixelValue(x, 0), static_cast<std::uint32_t>(x));
    }
}

TEST(BitmapDraw, PictureIsConvertedAndClippedAtEveryEdge) {
    Bitmap picture = MakeBitmap(pf4bit, 3, 2);
    std::vector<Rgb> palette(16, kBlack);
    palette[1] = {10, 20, 30};
    palette[2] = {200, 100, 50};
    picture.SetPalette(palette);
    picture.SetPixelValue(0, 0, 1);
    picture.SetPixelValue(2, 1, 2);

    Bitmap canvas = MakeBitmap(pf24bit, 2, 2);
    canvas.Draw(-1, -1, picture); // only the picture's bottom right 2 x 1 lands
    EXPECT_EQ(canvas.PixelColor(1, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(canvas.PixelColor(0, 0), kBlack);
    EXPECT_EQ(canvas.PixelColor(1, 1), kBlack);

    Bitmap words = MakeBitmap(pf16bit, 4, 4);
    words.Draw(1, 2, picture);
    EXPECT_EQ(words.PixelValue(1, 2), words.ValueOfColor({10, 20, 30}));
    EXPECT_EQ(words.PixelValue(3, 3), words.ValueOfColor({200, 100, 50}));
    EXPECT_EQ(words.PixelValue(0, 0), 0u);
}

} // namespace
} // namespace eitool
