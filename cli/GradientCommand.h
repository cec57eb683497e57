#pragma once

#include <string>

namespace CLI { // NOLINT(readability-identifier-naming): the namespace of CLI11
class App;
}

namespace eitool::cli {

// `eitool gradient` as typed; the colours as RRGGBB.
struct GradientCommandLine {
    std::string output;
    std::string size;
    std::string leftTop = "000000";
    std::string rightTop = "000000";
    std::string leftBottom = "000000";
    std::string rightBottom = "000000";
};

// Adds the `gradient` command to app, bound to line.
CLI::App* AddGradientCommand(CLI::App& app, GradientCommandLine& line);

// Writes the gradient as a 32-bit BMP file. Exit status 0 done; 2 a usage error; 3 a file that
// cannot be written.
int RunGradient(const GradientCommandLine& line);

} // namespace eitool::cli
