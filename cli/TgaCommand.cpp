// `eitool tga`: what a TGA file holds, and the fix for textures whose red and blue are exchanged.
#include "cli/TgaCommand.h"

#include "cli/Commands.h"
#include "cli/Console.h"
#include "common/FileStream.h"
#include "images/Targa.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>
#include <vector>

namespace eitool::cli {

namespace {

constexpr const char* kTgaFooter =
    R"(Files read: true colour of 15, 16, 24 or 32 bits, uncompressed (type 2) or run-length
encoded (type 10), any origin; colour-mapped and grey files are refused. Files written:
uncompressed, bottom-left origin, with the TGA 2.0 footer.

Exit status: 0 done; 2 usage error; 3 a file that cannot be read or written, or that
is refused (the reason on standard error).)";

std::string ImageTypeText(unsigned type) {
    switch (type) {
    case 2:
        return "2 (true colour)";
    case 10:
        return "10 (true colour, run-length encoded)";
    default:
        return std::to_string(type);
    }
}

std::string OriginText(std::uint8_t descriptor) {
    static const char* const kOrigins[] = {"bottom-left", "bottom-right", "top-left", "top-right"};
    return kOrigins[(descriptor >> 4) & 3];
}

std::string HexByte(std::uint8_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Describes the file as its own header says, once the component has read it.
int RunInfo(const TgaCommandLine& line) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(line.file);
    TTarga targa;
    targa.LoadFromBytes(bytes, line.file);
    const std::uint8_t descriptor = bytes[17];
    WriteStdout("width: " + std::to_string(targa.Width()) + "\nheight: " +
                std::to_string(targa.Height()) + "\ndepth: " + std::to_string(targa.GetDepth()) +
                "\nimage type: " + ImageTypeText(bytes[2]) +
                "\ndescriptor: " + HexByte(descriptor) + "\norigin: " + OriginText(descriptor) +
                "\nfooter: " + (HasTargaFooter(bytes) ? "yes" : "no") + "\n");
    return kExitClean;
}

int RunSwapRb(const TgaCommandLine& line) {
    TTarga targa;
    targa.LoadFromFile(line.file);
    targa.ReverseColors();
    targa.SaveToFile(line.output);
    WriteStdout("wrote " + line.output + ": " + std::to_string(targa.Width()) + " x " +
                std::to_string(targa.Height()) + ", " + std::to_string(targa.GetDepth()) +
                " bits, red and blue exchanged\n");
    return kExitClean;
}

} // namespace

CLI::App* AddTgaCommand(CLI::App& app, TgaCommandLine& line) {
    CLI::App* tga = app.add_subcommand("tga", "Describe TGA files and exchange their red and blue");
    tga->require_subcommand(1);
    tga->footer(kTgaFooter);

    CLI::App* info = tga->add_subcommand(
        "info", "Print the file's width, height, depth, image type, descriptor, origin and "
                "whether it has the TGA 2.0 footer, one \"name: value\" a line");
    info->add_option("FILE", line.file, "TGA file")->type_name("")->required();
    info->callback([&line] { line.action = TgaAction::Info; });

    CLI::App* swap = tga->add_subcommand(
        "swap-rb", "Write the picture with red and blue exchanged in every pixel, as an "
                   "uncompressed TGA file");
    swap->add_option("IN", line.file, "TGA file to read")->type_name("")->required();
    swap->add_option("OUT", line.output, "TGA file to write (replaced)")->type_name("")->required();
    swap->callback([&line] { line.action = TgaAction::SwapRb; });
    return tga;
}

int RunTga(const TgaCommandLine& line) {
    return RunReportingFailures("tga", [&line]() -> int {
        switch (line.action) {
        case TgaAction::Info:
            return RunInfo(line);
        case TgaAction::SwapRb:
            return RunSwapRb(line);
        case TgaAction::None:
            break;
        }
        return kExitUsage;
    });
}

} // namespace eitool::cli
