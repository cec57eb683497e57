#pragma once

#include "images/Bitmap.h"

#include <cstdint>

namespace eitool {

// A colour as the forms store it: the lowest byte red, then green, then blue. The highest byte
// is ignored, so a system colour constant counts by its low three bytes.
using TColor = std::uint32_t;

struct GradientCorners {
    TColor leftTop = 0;
    TColor rightTop = 0;
    TColor leftBottom = 0;
    TColor rightBottom = 0;
};

// Fills every pixel of bitmap, which must have 32 bits per pixel, with the four-corner gradient
// of a control of width x height pixels; a width or height of 0 leaves the bitmap as it is.
void ComputeGradient(Bitmap& bitmap, const GradientCorners& corners, std::int32_t width,
                     std::int32_t height);

// A 32-bit bitmap of width x height holding the gradient.
Bitmap MakeGradient(std::int32_t width, std::int32_t height, const GradientCorners& corners);

} // namespace eitool
