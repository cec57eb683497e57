#pragma once

#include <array>
#include <cstdint>

namespace eitool {

// The images of the main window's tool buttons, drawn here once for every front end: 16 x 16
// pixels, each 0xAARRGGBB, top row first. By index: 0 an opening folder, 1 a disk drive, 2 and
// 3 a waste bin, 4 an application window, 5 a closed folder, 6 a pen on a sheet.
constexpr int kToolImageSize = 16;
constexpr int kToolImageCount = 7;
using ToolImage = std::array<std::uint32_t, kToolImageSize * kToolImageSize>;

// The image of a tool button, in colour for an enabled button or as its grey version for a
// disabled one. index is below kToolImageCount.
ToolImage ToolButtonImage(int index, bool enabled);

// The seven tool buttons, left to right, as every window shows them: the control's name, its
// image, its hint (also its accessible name) and its keyboard shortcut in the notation of menus
// ("Ctrl+O"; empty for none).
struct ToolButton {
    const char* name;
    int image;
    const char* hint;
    const char* shortcut;
};
extern const ToolButton kToolButtons[kToolImageCount];

} // namespace eitool
