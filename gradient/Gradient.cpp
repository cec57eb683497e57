#include "gradient/Gradient.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace eitool {

namespace {

using Channels = std::array<float, 3>; // red, green, blue

std::array<int, 3> ChannelsOf(TColor colour) {
    return {int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)};
}

Channels Start(TColor colour) {
    const std::array<int, 3> c = ChannelsOf(colour);
    return {float(c[0]), float(c[1]), float(c[2])};
}

// (to - from) / steps per channel, in single precision.
Channels Step(TColor from, TColor to, std::int32_t steps) {
    const std::array<int, 3> a = ChannelsOf(from);
    const std::array<int, 3> b = ChannelsOf(to);
    Channels step{};
    for (std::size_t i = 0; i < 3; ++i) {
        step[i] = float(b[i] - a[i]) / float(steps);
    }
    return step;
}

// A running value cut to a channel byte by truncation toward zero. Repeated single-precision
// additions stay within a fraction of a step of the corner values, so the range only guards
// against a channel spilling into its neighbour.
std::uint32_t Truncated(float value) {
    return static_cast<std::uint32_t>(std::clamp(static_cast<int>(value), 0, 255));
}

} // namespace

// Every row blends from the left edge to the right edge, and both edges blend from the top
// corners to the bottom corners. The steps divide by the full width and height (not by one
// less), so the last column and row stop one step short of the right and bottom colours, and
// every value is the sum of repeated single-precision additions, truncated, never rounded.
void ComputeGradient(Bitmap& bitmap, const GradientCorners& corners, std::int32_t width,
                     std::int32_t height) {
    assert(bitmap.Format() == pf32bit);
    if (width <= 0 || height <= 0) {
        return;
    }
    const Channels leftStep = Step(corners.leftTop, corners.leftBottom, height);
    const Channels rightStep = Step(corners.rightTop, corners.rightBottom, height);
    Channels left = Start(corners.leftTop);
    Channels right = Start(corners.rightTop);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        Channels step{};
        for (std::size_t i = 0; i < 3; ++i) {
            step[i] = (right[i] - left[i]) / float(width);
        }
        Channels value = left;
        std::uint8_t* row = bitmap.ScanLine(y);
        for (std::int32_t x = 0; x < bitmap.Width(); ++x) {
            // The pixel red * 65536 + green * 256 + blue: bytes blue, green, red, 0.
            std::uint8_t* pixel = row + std::size_t(x) * 4;
            pixel[0] = static_cast<std::uint8_t>(Truncated(value[2]));
            pixel[1] = static_cast<std::uint8_t>(Truncated(value[1]));
            pixel[2] = static_cast<std::uint8_t>(Truncated(value[0]));
            pixel[3] = 0;
            for (std::size_t i = 0; i < 3; ++i) {
                value[i] += step[i];
            }
        }
        for (std::size_t i = 0; i < 3; ++i) {
            left[i] += leftStep[i];
            right[i] += rightStep[i];
        }
    }
}

Bitmap MakeGradient(std::int32_t width, std::int32_t height, const GradientCorners& corners) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(pf32bit);
    bitmap.SetSize(width, height);
    ComputeGradient(bitmap, corners, width, height);
    return bitmap;
}

} // namespace eitool
