// `eitool gradient`: the gradient control's picture as a BMP file, for gradient textures.
#include "cli/GradientCommand.h"

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "gradient/Gradient.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <new>

namespace eitool::cli {

namespace {

constexpr std::int64_t kMaxSide = 32768;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

constexpr const char* kGradientFooter =
    R"(Every row blends from the left edge to the right edge, and both edges blend from the
top corners to the bottom corners; the last column and row stop one step short of the
right and bottom colours. Colours are RRGGBB in hexadecimal (red first).

Exit status: 0 done; 2 usage error; 3 the file cannot be written.)";

bool ParseNumber(std::string_view text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "WxH", each side 1 to 32768 and at most 64 Mi pixels.
void ParseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    const std::size_t cross = text.find('x');
    std::int64_t w = 0;
    std::int64_t h = 0;
    if (cross == std::string::npos || !ParseNumber(std::string_view(text).substr(0, cross), w) ||
        !ParseNumber(std::string_view(text).substr(cross + 1), h)) {
        throw UsageError("--size: \"" + text + "\" is not WIDTHxHEIGHT, such as 256x64");
    }
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
        throw UsageError("--size: " + text + " is too large or empty (each side 1 to " +
                         std::to_string(kMaxSide) + ", at most " + std::to_string(kMaxPixels) +
                         " pixels)");
    }
    width = static_cast<std::int32_t>(w);
    height = static_cast<std::int32_t>(h);
}

// RRGGBB as the colour value of a form: red in the lowest byte.
TColor ParseColour(const char* option, const std::string& text) {
    std::uint32_t rgb = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, rgb, 16);
    if (text.size() != 6 || result.ec != std::errc() || result.ptr != end) {
        throw UsageError(std::string(option) + ": \"" + text +
                         "\" is not a colour RRGGBB, such as FF8000");
    }
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

} // namespace

CLI::App* AddGradientCommand(CLI::App& app, GradientCommandLine& line) {
    CLI::App* gradient =
        app.add_subcommand("gradient", "Write a four-corner colour gradient as a 32-bit BMP file");
    gradient->footer(kGradientFooter);
    gradient->add_option("OUT", line.output, "BMP file to write (replaced)")
        ->type_name("")
        ->required();
    gradient->add_option("--size", line.size, "Width and height in pixels, such as 256x64")
        ->type_name("WxH")
        ->required();
    gradient->add_option("--lt", line.leftTop, "Colour of the left top corner (default 000000)")
        ->type_name("RRGGBB");
    gradient->add_option("--rt", line.rightTop, "Colour of the right top corner")
        ->type_name("RRGGBB");
    gradient->add_option("--lb", line.leftBottom, "Colour of the left bottom corner")
        ->type_name("RRGGBB");
    gradient->add_option("--rb", line.rightBottom, "Colour of the right bottom corner")
        ->type_name("RRGGBB");
    return gradient;
}

int RunGradient(const GradientCommandLine& line) {
    return RunReportingFailures("gradient", [&line]() -> int {
        std::int32_t width = 0;
        std::int32_t height = 0;
        ParseSize(line.size, width, height);
        const GradientCorners corners{
            ParseColour("--lt", line.leftTop), ParseColour("--rt", line.rightTop),
            ParseColour("--lb", line.leftBottom), ParseColour("--rb", line.rightBottom)};
        MakeGradient(width, height, corners).SaveToFile(line.output);
        WriteStdout("wrote " + line.output + ": " + std::to_string(width) + " x " +
                    std::to_string(height) + ", 32 bits\n");
        return kExitClean;
    });
}

} // namespace eitool::cli
