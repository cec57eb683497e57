// Makes the data packs and the textures of the I/O benchmark (bench/iofloor.sh) and edits the
// pieces.
//
//   make_sample_pack pack OUT.tre COUNT SIZE [SEED]
//       a pack of COUNT members with the names of realistic members (directory parts, several
//       extensions), every member but the names list exactly SIZE bytes of varied content; a
//       pack of fewer members than the names list's place is filled up with empty members
//   make_sample_pack flip LOG
//       changes one byte (the first) of every piece that the result log LOG lists, so that the
//       pieces keep their sizes but differ from their members; the names list is left alone
//   make_sample_pack textures OUT_DIR COUNT [SEED]
//       COUNT extended images in OUT_DIR (created): *.bmpx and *.tgax, 4-bit and 8-bit, level 0
//       from 64 to 512 pixels a side (powers of two, about a quarter of them twice as wide as high
//       or the other way round), most with mipmaps down to 8 or 16 pixels, the rest one level
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "samples/SamplePack.h"
#include "samples/SampleTexture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace eitool;

int Usage() {
    std::fputs("usage: make_sample_pack pack OUT.tre COUNT SIZE [SEED]\n"
               "       make_sample_pack flip LOG\n"
               "       make_sample_pack textures OUT_DIR COUNT [SEED]\n",
               stderr);
    return 2;
}

int MakePack(const std::string& out, std::uint32_t count, std::uint32_t size, std::uint32_t seed) {
    // Every pack has its names list: a smaller pack is filled up with empty members.
    const std::uint32_t total =
        std::max<std::uint32_t>(count, static_cast<std::uint32_t>(samples::kNamesListIndex) + 1);
    std::vector<samples::PackMember> members = samples::MakeRealisticMembers(total, seed, size);
    std::mt19937 random(seed ^ 0x9E3779B9u);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i == samples::kNamesListIndex) {
            continue; // BuildPack writes the names list there
        }
        std::vector<std::uint8_t>& data = members[i].data;
        data.resize(i < count ? size : 0);
        for (std::size_t at = 0; at < data.size(); at += 4) {
            StoreLe(data, at, random(),
                    static_cast<int>(std::min<std::size_t>(4, data.size() - at)));
        }
    }
    const std::string directory = DirectoryPart(out);
    if (!directory.empty()) {
        CreateDirectories(directory);
    }
    WriteWholeFile(out, samples::BuildPack(members));
    return 0;
}

int FlipPieces(const std::string& log) {
    std::size_t flipped = 0;
    for (const std::string& line : LoadTextLines(log)) {
        if (line.empty() || line[0] == '#' || line == "NULL" ||
            FileNamePart(line).ends_with("_filelist.txt")) {
            continue;
        }
        FileStream piece = FileStream::Open(line, omReadWrite);
        std::uint8_t byte = 0;
        if (piece.Read(&byte, 1) != 1) {
            continue;
        }
        byte = static_cast<std::uint8_t>(~byte);
        piece.Seek(0);
        piece.Write(&byte, 1);
        ++flipped;
    }
    std::printf("%zu pieces changed\n", flipped);
    return 0;
}

// Keeps the left width x height part of every level (each level halves both sides), so that a
// square picture gives a texture twice as wide as high or twice as high as wide.
void CropLevels(samples::SampleTexture& texture, std::int32_t width, std::int32_t height) {
    for (samples::TextureLevel& level : texture.levels) {
        const std::size_t fromRow = texture.depth == 4 ? level.width / 2 : level.width;
        const std::size_t toRow = texture.depth == 4 ? width / 2 : width;
        std::vector<std::uint8_t> cropped(toRow * static_cast<std::size_t>(height));
        for (std::int32_t y = 0; y < height; ++y) {
            std::copy_n(level.linear.begin() + static_cast<std::ptrdiff_t>(y * fromRow), toRow,
                        cropped.begin() + static_cast<std::ptrdiff_t>(y * toRow));
        }
        level = {width, height, std::move(cropped)};
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
}

int MakeTextures(const std::string& out, std::uint32_t count, std::uint32_t seed) {
    static const char* const kNames[] = {"title", "icons", "font_page", "menu_back", "portrait",
                                         "map",   "items", "logo",      "window",    "effects"};
    CreateDirectories(out);
    std::mt19937 random(seed);
    for (std::uint32_t i = 0; i < count; ++i) {
        const int depth = random() % 5 < 2 ? 4 : 8;
        const std::int32_t side = 64 << (random() % 4); // 64 .. 512
        const bool mipmaps = random() % 5 != 0;
        const std::int32_t smallest = mipmaps ? (random() % 2 == 0 ? 8 : 16) : side;
        samples::SampleTexture texture =
            samples::MakeSampleTexture(depth, side, smallest, random());
        switch (random() % 8) {
        case 0:
            CropLevels(texture, side, side / 2);
            break;
        case 1:
            CropLevels(texture, side / 2, side);
            break;
        default:
            break;
        }
        texture.levelTable = mipmaps || random() % 2 == 0;
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04u.%s", kNames[random() % std::size(kNames)], i,
                      random() % 2 == 0 ? "bmpx" : "tgax");
        WriteWholeFile(JoinPath(out, name), samples::BuildExtendedImage(texture));
    }
    std::printf("%u textures written\n", count);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "pack" && (argc == 5 || argc == 6)) {
            return MakePack(
                argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)),
                static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)),
                argc == 6 ? static_cast<std::uint32_t>(std::strtoul(argv[5], nullptr, 10)) : 1234u);
        }
        if (command == "flip" && argc == 3) {
            return FlipPieces(argv[2]);
        }
        if (command == "textures" && (argc == 4 || argc == 5)) {
            return MakeTextures(
                argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)),
                argc == 5 ? static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 1234u);
        }
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_pack: %s\n", error.what());
        return 3;
    }
}
