#include "gradient/Gradient.h"

#include <gtest/gtest.h>
#include <vector>

namespace eitool {
namespace {

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF; // red is the lowest byte

struct Pixel {
    std::int32_t x;
    std::int32_t y;
    std::uint32_t value; // 0xRRGGBB
};

TEST(Gradient, PixelsAreTruncatedSumsOfSinglePrecisionSteps) {
    struct Case {
        const char* what;
        std::int32_t width;
        std::int32_t height;
        GradientCorners corners; // left top, right top, left bottom, right bottom
        std::vector<Pixel> pixels;
    };
    const Case cases[] = {
        {"all red", 7, 5, {kRed, kRed, kRed, kRed}, {{0, 0, 0xFF0000}, {6, 4, 0xFF0000}}},
        // A system colour constant counts by its low three bytes.
        {"high byte", 3, 2, {0x80FF0000, 0x80FF0000, 0x80FF0000, 0x80FF0000}, {{2, 1, 0x0000FF}}},
        // Each channel at x is x additions of 2.55f, truncated: 50 at x = 20, not 51.
        {"left to right",
         100,
         3,
         {kBlack, kWhite, kBlack, kWhite},
         {{0, 0, 0x000000}, {20, 0, 0x323232}, {99, 0, 0xFCFCFC}, {20, 2, 0x323232}}},
        {"top to bottom",
         4,
         100,
         {kBlack, kBlack, kWhite, kWhite},
         {{3, 0, 0x000000}, {0, 20, 0x323232}, {0, 99, 0xFCFCFC}, {3, 99, 0xFCFCFC}}},
        {"one column",
         1,
         4,
         {kBlack, kWhite, kWhite, kBlack},
         {{0, 0, 0x000000}, {0, 1, 0x3F3F3F}, {0, 2, 0x7F7F7F}, {0, 3, 0xBFBFBF}}},
        {"one row",
         4,
         1,
         {kBlack, kWhite, kWhite, kWhite},
         {{0, 0, 0x000000}, {1, 0, 0x3F3F3F}, {2, 0, 0x7F7F7F}, {3, 0, 0xBFBFBF}}},
        {"four colours",
         2,
         2,
         {kRed, 0x00FF00, 0xFF0000, kWhite},
         {{0, 0, 0xFF0000}, {1, 0, 0x7F7F00}, {0, 1, 0x7F007F}, {1, 1, 0x7F7F7F}}},
    };
    for (const Case& c : cases) {
        const Bitmap bitmap = MakeGradient(c.width, c.height, c.corners);
        ASSERT_EQ(bitmap.Format(), pf32bit);
        ASSERT_EQ(bitmap.Width(), c.width);
        for (const Pixel& p : c.pixels) {
            EXPECT_EQ(bitmap.PixelValue(p.x, p.y), p.value) << c.what << " " << p.x << "," << p.y;
        }
    }
    // In memory the bytes blue, green, red, 0.
    const Bitmap four = MakeGradient(2, 2, {kRed, 0x00FF00, 0xFF0000, kWhite});
    EXPECT_EQ(std::vector<std::uint8_t>(four.ScanLine(1), four.ScanLine(1) + 8),
              (std::vector<std::uint8_t>{0x7F, 0, 0x7F, 0, 0x7F, 0x7F, 0x7F, 0}));
}

TEST(Gradient, AnEmptySizeComputesNothing) {
    EXPECT_EQ(MakeGradient(0, 5, {kWhite, kWhite, kWhite, kWhite}).Width(), 0);
    Bitmap bitmap = MakeGradient(3, 3, {kWhite, kWhite, kWhite, kWhite});
    ComputeGradient(bitmap, {}, 3, 0);
    EXPECT_EQ(bitmap.PixelValue(1, 1), 0xFFFFFFu);
}

} // namespace
} // namespace eitool
