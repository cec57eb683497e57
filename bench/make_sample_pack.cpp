// Makes the data pack of the end-to-end benchmark (bench/endtoend.sh) and edits its pieces.
//
//   make_sample_pack pack OUT.tre COUNT SIZE [SEED]
//       a pack of COUNT members with the names of realistic members (directory parts, several
//       extensions), every member but the names list exactly SIZE bytes of varied content
//   make_sample_pack flip LOG
//       changes one byte (the first) of every piece that the result log LOG lists, so that the
//       pieces keep their sizes but differ from their members; the names list is left alone
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "samples/SamplePack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>

namespace {

using namespace eitool;

int Usage() {
    std::fputs("usage: make_sample_pack pack OUT.tre COUNT SIZE [SEED]\n"
               "       make_sample_pack flip LOG\n",
               stderr);
    return 2;
}

int MakePack(const std::string& out, std::uint32_t count, std::uint32_t size, std::uint32_t seed) {
    std::vector<samples::PackMember> members = samples::MakeRealisticMembers(count, seed, size);
    std::mt19937 random(seed ^ 0x9E3779B9u);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i == samples::kNamesListIndex) {
            continue; // BuildPack writes the names list there
        }
        std::vector<std::uint8_t>& data = members[i].data;
        data.resize(size);
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
        return Usage();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample_pack: %s\n", error.what());
        return 3;
    }
}
