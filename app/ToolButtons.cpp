#include "app/ToolButtons.h"

#include <cstddef>

namespace eitool {
namespace {

using Grid = const char* const[kToolImageSize];

// One character per pixel; '.' is transparent.
std::uint32_t ColourOf(char c) {
    switch (c) {
    case 'k':
        return 0xFF000000u; // outline
    case 'y':
        return 0xFFFFD84Au; // folder, light
    case 'o':
        return 0xFFC8961Eu; // folder, shaded
    case 'l':
        return 0xFFD4D0C8u; // light grey
    case 'g':
        return 0xFF808080u; // grey
    case 'w':
        return 0xFFFFFFFFu; // white
    case 'b':
        return 0xFF2058C8u; // blue
    case 'n':
        return 0xFF20C020u; // green light
    case 'p':
        return 0xFFE8B070u; // bare wood of a pen
    default:
        return 0u;
    }
}

Grid kOpenFolder = {
    "................", "................", "................", ".kkkk...........",
    "koyyok..........", "koyyyokkkkkk....", "koyyyyyyyyyk....", "koyykkkkkkkkkkk.",
    "koykyyyyyyyyyyk.", "kokyyyyyyyyyyk..", "kokyyyyyyyyyyk..", "kkyyyyyyyyyyk...",
    "kkyyyyyyyyyyk...", "kkkkkkkkkkkk....", "................", "................",
};
Grid kDiskDrive = {
    "................", "................", "................", "................",
    "................", ".kkkkkkkkkkkkkk.", ".kllllllllllllk.", ".klkkkkkkkkkklk.",
    ".kllllllllllllk.", ".kllllllllllllk.", ".kllllllllllnnk.", ".kggggggggggggk.",
    ".kkkkkkkkkkkkkk.", "................", "................", "................",
};
Grid kWasteBin = {
    "................", "......kkkk......", ".kkkkkkkkkkkkkk.", ".kllllllllllllk.",
    ".kkkkkkkkkkkkkk.", "...klglglgllk...", "...klglglgllk...", "...klglglgllk...",
    "...klglglgllk...", "...klglglgllk...", "...klglglgllk...", "...klglglgllk...",
    "...klglglgllk...", "...klglglgllk...", "...kkkkkkkkkk...", "................",
};
Grid kAppWindow = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".kbbbbbbbbbwbwk.",
    ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwwk.", ".kwwwwwwwwwwwwk.", ".kwwwwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.", ".kwwwwwwwwwwwwk.", ".kwwwwwwwwwwwwk.", ".kwwwwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.", ".kkkkkkkkkkkkkk.", "................", "................",
};
Grid kClosedFolder = {
    "................", "................", "................", ".kkkk...........",
    "kyyyyk..........", "kyyyyykkkkkkkkk.", "koooooooooooook.", "kyyyyyyyyyyyyyk.",
    "kyyyyyyyyyyyyyk.", "kyyyyyyyyyyyyyk.", "kyyyyyyyyyyyyyk.", "kyyyyyyyyyyyyyk.",
    "kyyyyyyyyyyyyyk.", "kkkkkkkkkkkkkkk.", "................", "................",
};
Grid kSheet = {
    "................", ".kkkkkkkkk......", ".kwwwwwwwk......", ".kwgggggwk......",
    ".kwwwwwwwk......", ".kwgggggwk......", ".kwwwwwwwk......", ".kwgggggwk......",
    ".kwwwwwwwk......", ".kwgggggwk......", ".kwwwwwwwk......", ".kwgggggwk......",
    ".kwwwwwwwk......", ".kwwwwwwwk......", ".kkkkkkkkk......", "................",
};

void Paint(ToolImage& image, Grid grid) {
    for (int y = 0; y < kToolImageSize; ++y) {
        for (int x = 0; x < kToolImageSize; ++x) {
            image[static_cast<std::size_t>(y * kToolImageSize + x)] = ColourOf(grid[y][x]);
        }
    }
}

void Put(ToolImage& image, int x, int y, char c) {
    if (x >= 0 && x < kToolImageSize && y >= 0 && y < kToolImageSize) {
        image[static_cast<std::size_t>(y * kToolImageSize + x)] = ColourOf(c);
    }
}

// A pen lying from the top right corner down to the sheet's middle, its point at the lower left.
void PaintPen(ToolImage& image) {
    for (int step = 0; step < 8; ++step) {
        const int y = 1 + step;
        const int x = 13 - step;
        Put(image, x - 1, y, 'k');
        Put(image, x, y, 'b');
        Put(image, x + 1, y, 'b');
        Put(image, x + 2, y, 'k');
    }
    Put(image, 12, 0, 'k');
    Put(image, 13, 0, 'k');
    Put(image, 14, 0, 'k');
    Put(image, 4, 9, 'k');
    Put(image, 5, 9, 'p');
    Put(image, 6, 9, 'p');
    Put(image, 7, 9, 'k');
    Put(image, 4, 10, 'k');
    Put(image, 5, 10, 'p');
    Put(image, 6, 10, 'k');
    Put(image, 4, 11, 'k');
}

// A washed-out grey: black outlines become mid grey and colours light grey, so a disabled button
// is told from an enabled one at a glance.
std::uint32_t Greyed(std::uint32_t argb) {
    if ((argb >> 24) == 0) {
        return argb;
    }
    const unsigned r = (argb >> 16) & 0xFFu;
    const unsigned g = (argb >> 8) & 0xFFu;
    const unsigned b = argb & 0xFFu;
    const unsigned luma = (r * 77 + g * 150 + b * 29) >> 8;
    const unsigned grey = 0x80u + luma * 0x60u / 0xFFu;
    return (argb & 0xFF000000u) | (grey << 16) | (grey << 8) | grey;
}

} // namespace

const ToolButton kToolButtons[kToolImageCount] = {
    {"BAddLog", 0, "Add files", "Ctrl+O"},   {"ProcessDir", 5, "Process Directory", "Ctrl+D"},
    {"BSaveList", 1, "Save list", "Ctrl+S"}, {"BRemLog", 2, "Remove selected", "Del"},
    {"BClearAll", 3, "Clear list", ""},      {"BProcess", 4, "Process", "F5"},
    {"BExit", 6, "Exit", "Ctrl+Q"},
};

ToolImage ToolButtonImage(int index, bool enabled) {
    ToolImage image{};
    switch (index) {
    case 0:
        Paint(image, kOpenFolder);
        break;
    case 1:
        Paint(image, kDiskDrive);
        break;
    case 2:
    case 3:
        Paint(image, kWasteBin);
        break;
    case 4:
        Paint(image, kAppWindow);
        break;
    case 5:
        Paint(image, kClosedFolder);
        break;
    case 6:
        Paint(image, kSheet);
        PaintPen(image);
        break;
    default:
        break;
    }
    if (!enabled) {
        for (auto& pixel : image) {
            pixel = Greyed(pixel);
        }
    }
    return image;
}

} // namespace eitool
