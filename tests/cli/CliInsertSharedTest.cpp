// Insertion into packs whose members share bytes, and pieces that are not regular files, through
// the real binary.
#include "cli/RunEitool.h"
#include "common/ByteWriter.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "formats/Crc32.h"
#include "samples/SamplePack.h"
#include "support/FilesBelow.h"
#include "support/Platform.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace eitool {
namespace {

namespace fs = std::filesystem;
using testing::FilesBelow;
using testing::ProcessResult;
using testing::RunEitool;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

// A path as the console shows it, with single separators.
std::string Shown(std::string path) {
    const std::string doubled(2, kPathSeparator);
    for (std::size_t at; (at = path.find(doubled)) != std::string::npos;) {
        path.erase(at, 1);
    }
    return path;
}

// Members 0 and 1 are one range; member 3 starts on the last byte of member 2 (which it holds
// too, so that the pack is sound). Every other member lies apart, member 10 among them.
struct SharedPack {
    TempDir dir;
    std::string pack = dir / "game/shared.tre";
    std::string log = dir / "out/result.log";
    TextLines pieces; // the entry lines; position k is member k here

    SharedPack() {
        auto members = samples::MakeRealisticMembers(2536, 11, 16);
        const std::uint32_t base = 4 + 16 * 2536;
        const Bytes twin(12, 'a');
        const Bytes second = {'x', 'y', 'z', 'w'};
        members[0].data = members[1].data = twin;
        members[0].offset = members[1].offset = base;
        members[2].data = second;
        members[2].offset = base + 12;
        members[3].data = {'w', 'v', 'u'};
        members[3].offset = base + 15;
        members[10].data = Bytes(8, 'q');
        CreateDirectories(dir / "game");
        WriteWholeFile(pack, samples::BuildPack(members));
        const ProcessResult run = RunEitool({"extract", "--target", dir / "out", pack});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const TextLines lines = LoadTextLines(log);
        pieces.assign(lines.begin() + 2, lines.end());
    }
};

TEST(CliInsertShared, APieceGoesInOnlyWhenEveryMemberOfItsRangeHoldsTheSameNewBytes) {
    const Bytes edit = {'n', 'e', 'w', '!'};
    const Bytes other = {'o', 't', 'h', 'r'};
    using Edits = std::map<std::size_t, Bytes>;                        // position: new bytes
    using Refusals = std::vector<std::pair<std::size_t, std::size_t>>; // piece, member named
    struct Case {
        const char* what;
        Edits edits;
        bool dryRun;
        bool written;        // members 0 and 1 take the edit
        Refusals refusals;   // results lines in this order; members 2 and 3 share a part
        bool noCrcs = false; // the entries of members 0 to 3 carry no CRC-32 (as a game's may)
    };
    // clang-format off
    const Case cases[] = {
        {"same range, same bytes",  {{0, edit}, {1, edit}},  false, true,  {}},
        {"same range, one edited",  {{0, edit}},             false, false, {{0, 1}}},
        {"same range, other bytes", {{0, edit}, {1, other}}, false, false, {{0, 1}, {1, 0}}},
        {"partial overlap",         {{2, edit}},             false, false, {{2, 3}}},
        {"dry run",                 {{0, edit}},             true,  false, {{0, 1}}},
        {"dry run, same bytes",     {{0, edit}, {1, edit}},  true,  true,  {}},
        {"unedited, no CRC-32s",    {},                      false, false, {}, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SharedPack setup;
        const TextLines& p = setup.pieces;
        if (c.noCrcs) {
            Bytes bytes = ReadWholeFile(setup.pack);
            for (std::size_t i = 0; i < 4; ++i) {
                StoreU32le(bytes, 4 + 16 * i + 12, 0);
            }
            WriteWholeFile(setup.pack, bytes);
        }
        for (const auto& [k, bytes] : c.edits) {
            WriteWholeFile(p[k], bytes);
        }
        WriteWholeFile(p[10], Bytes(5, 'r')); // a member apart goes in as usual
        const auto before = FilesBelow(setup.dir.Path());

        std::vector<std::string> args = {"insert", "--target", setup.dir.Path(), setup.log};
        if (c.dryRun) {
            args.insert(args.begin() + 1, "--dry-run");
        }
        const ProcessResult run = RunEitool(args);

        std::string expected;
        for (const auto& [k, member] : c.refusals) {
            expected += Shown(p[k]) +
                        (k < 2 ? " shares its bytes with member "
                               : " shares part of its bytes with member ") +
                        std::to_string(member) + " (" + Shown(p[member]) + ")" +
                        (k < 2 ? ", whose piece does not hold the same bytes" : "") +
                        "; not inserted.\n";
        }
        EXPECT_EQ(run.exitCode, expected.empty() ? 0 : 1) << c.what << run.err;
        const ProcessResult verify = RunEitool({"verify", setup.pack});
        EXPECT_EQ(verify.exitCode, 0) << c.what << verify.out; // the pack is consistent
        if (c.dryRun) {
            EXPECT_TRUE(run.out.starts_with(expected)) << c.what << run.out.substr(0, 400);
            const std::string plan = c.written
                                         ? "\ninsert    " + Shown(p[1]) + " (4 bytes; room 12"
                                         : "\nshared    " + Shown(p[0]) + " (4 bytes; room 12";
            EXPECT_NE(run.out.find(plan), std::string::npos) << c.what << run.out.substr(0, 400);
            EXPECT_EQ(FilesBelow(setup.dir.Path()), before) << c.what;
            continue;
        }
        EXPECT_EQ(run.out, expected) << c.what;
        const Bytes pack = ReadWholeFile(setup.pack);
        const auto directory = samples::ReadPackDirectory(pack);
        const auto member = [&](std::size_t k) {
            const auto at = pack.begin() + directory[k].offset;
            return Bytes(at, at + directory[k].size);
        };
        for (const std::size_t k : {0, 1}) {
            EXPECT_EQ(member(k), c.written ? edit : Bytes(12, 'a')) << c.what << k;
        }
        EXPECT_EQ(member(2), (Bytes{'x', 'y', 'z', 'w'})) << c.what;
        EXPECT_EQ(directory[10].size, 5u) << c.what;
        EXPECT_EQ(directory[10].crc, Crc32Reference(Bytes(5, 'r'))) << c.what;
    }
}

// A file of the system's own reports a size of 0 and holds bytes all the same: as a piece it is
// refused as any file that is not a regular file is, and the pack stays as it was.
TEST(CliInsertShared, APieceThatReportsNoBytesButHoldsSomeIsRefused) {
    EITOOL_SKIP_ON_WINDOWS("there is no /proc");
    if (!fs::exists("/proc/self/status")) {
        GTEST_SKIP() << "no /proc/self/status here";
    }
    SharedPack setup;
    TextLines lines = LoadTextLines(setup.log);
    lines[2 + 10] = "/proc/self/status";
    SaveTextLines(setup.log, lines);
    const Bytes original = ReadWholeFile(setup.pack);

    const ProcessResult run = RunEitool({"insert", "--target", setup.dir.Path(), setup.log});

    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_NE(run.err.find("/proc/self/status: cannot open file: it is not a regular file"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadWholeFile(setup.pack), original);
}

} // namespace
} // namespace eitool
