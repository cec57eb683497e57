// End-to-end runs of the real binary against hostile inputs: paths with NUL bytes, links inside
// the target, FIFOs in place of files, files that claim far more output than they hold and
// scanned trees with links out of them. Each checks that nothing outside the target changed.
#include "cli/RunEitool.h"
#include "common/ByteWriter.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/TextLines.h"
#include "samples/SampleFont.h"
#include "samples/SamplePack.h"
#include "support/Platform.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

#ifndef _WIN32
#include <poll.h>
#include <sys/stat.h>
#endif

namespace eitool::testing {
namespace {

namespace fs = std::filesystem;

// Every entry below a directory, links not followed: its type, size and modification time.
using Snapshot = std::map<std::string, std::tuple<int, std::uintmax_t, fs::file_time_type>>;

Snapshot TakeSnapshot(const std::string& directory) {
    Snapshot snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        const fs::file_status status = entry.symlink_status();
        const bool regular = fs::is_regular_file(status);
        snapshot[entry.path().string()] = {
            static_cast<int>(status.type()), regular ? entry.file_size() : 0,
            regular ? entry.last_write_time() : fs::file_time_type{}};
    }
    return snapshot;
}

#ifdef _WIN32
// Without poll and kill the run is not watched; the inputs that could hang a run (FIFOs, link
// loops) do not exist on Windows.
ProcessResult RunWithin(const std::vector<std::string>& args) {
    return RunEitool(args);
}
#else
// Runs eitool and kills it when it has not ended within the time a hang would take.
ProcessResult RunWithin(const std::vector<std::string>& args, int seconds = 20) {
    return RunEitool(
        args, WhileRunning([seconds](int fd, pid_t pid, std::string& out) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
            for (;;) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now());
                pollfd wait{fd, POLLIN, 0};
                if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) == 0) {
                    kill(pid, SIGKILL);
                    return;
                }
                char buffer[4096];
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n <= 0) {
                    return;
                }
                out.append(buffer, static_cast<std::size_t>(n));
            }
        }));
}
#endif

std::vector<samples::PackMember> Members() {
    std::vector<samples::PackMember> members(samples::kNamesListIndex + 2);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i) + (i % 2 == 0 ? ".tga" : ".bin");
        members[i].data = {static_cast<std::uint8_t>(i), 7};
    }
    members[samples::kNamesListIndex].name = "filelist.txt";
    return members;
}

TEST(CliHostile, ALogSourceWithANulByteIsRefusedAndNothingIsRemoved) {
    TempDir dir;
    CreateDirectories(dir / "outside");
    const std::string victim = dir / "outside/victim.txt";
    WriteWholeFile(victim, {'v'});
    const std::string log = dir / "x.log";
    const std::string text = "#Format: TRE\r\n#Source: " + victim + std::string(1, '\0') + "\r\n";
    WriteWholeFile(log, std::vector<std::uint8_t>(text.begin(), text.end()));
    const Snapshot before = TakeSnapshot(dir / "outside");
    const ProcessResult run = RunWithin({"insert", "--target", dir / "out", log});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find(victim + "\\0"), std::string::npos) << run.err;
    EXPECT_EQ(TakeSnapshot(dir / "outside"), before);
}

TEST(CliHostile, LinksInTheTargetNeverLeadWritesOutside) {
    EITOOL_SKIP_ON_WINDOWS(kNoLinks);
    TempDir dir;
    CreateDirectories(dir / "game");
    CreateDirectories(dir / "elsewhere");
    WriteWholeFile(dir / "elsewhere/file.bin", {'e'});
    const std::string pack = dir / "game/a.tre";
    WriteWholeFile(pack, samples::BuildPack(Members()));
    struct Case {
        const char* what;
        const char* link;   // below the target
        const char* points; // below dir
    };
    for (const Case& c :
         {Case{"a directory link", "BIN", "elsewhere"},
          Case{"a link at a piece", "TGA/0000_m0.tga", "elsewhere/file.bin"},
          Case{"a link at result.log", "result.log", "elsewhere/file.bin"},
          Case{"a hard link at a piece", "TGA/0000_m0.tga", "elsewhere/file.bin"}}) {
        const bool hard = std::string(c.what).find("hard") != std::string::npos;
        const std::string target = dir / (std::string("out-") + (hard ? 'h' : c.link[0]));
        CreateDirectories(DirectoryPart(target + "/" + c.link));
        if (hard) {
            fs::create_hard_link(dir / c.points, target + "/" + c.link);
        } else {
            fs::create_symlink(dir / c.points, target + "/" + c.link);
        }
        const Snapshot before = TakeSnapshot(dir / "elsewhere");
        const ProcessResult run = RunWithin({"extract", "--overwrite", "--target", target, pack});
        EXPECT_EQ(TakeSnapshot(dir / "elsewhere"), before) << c.what;
        if (hard) {
            // The piece replaces the name; the other name keeps its bytes.
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(fs::hard_link_count(dir / c.points), 1u);
            EXPECT_EQ(ReadWholeFile(target + "/" + c.link), Members()[0].data);
        } else if (std::string(c.link) == "result.log") {
            // The log replaces the link itself.
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(EntryTypeOf(target + "/result.log"), EntryType::RegularFile);
        } else {
            EXPECT_EQ(run.exitCode, 3) << c.what;
            EXPECT_NE(run.err.find(target + "/" + c.link + ": "), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("is a link"), std::string::npos) << run.err;
        }
    }
}

TEST(CliHostile, AFifoInPlaceOfAnyInputIsRefusedWithoutWaiting) {
#ifdef _WIN32
    GTEST_SKIP() << "Not on Windows: " << kNoFifos;
#else
    TempDir dir;
    CreateDirectories(dir / "game");
    const std::string pack = dir / "game/a.tre";
    WriteWholeFile(pack, samples::BuildPack(Members()));
    ASSERT_EQ(RunWithin({"extract", "--target", dir / "out", pack}).exitCode, 0);
    const TextLines log = LoadTextLines(dir / "out/result.log");
    const std::string piece = log.at(2);
    fs::remove(piece);
    const samples::SampleFont font = samples::MakeSampleFont();
    WriteWholeFile(dir / "game/font_main.fnt", samples::BuildFont(font.tables));
    for (const std::string& fifo :
         {dir / "game/fifo.tre", dir / "fifo.log", piece, dir / "game/font_main.bmp"}) {
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << fifo;
    }
    const Snapshot before = TakeSnapshot(dir / "game");
    // An input of the list is a results line and the run goes on; a file that a handler opens
    // ends the run.
    struct Case {
        std::vector<std::string> args;
        std::string fifo;
        bool listed;
    };
    for (const Case& c :
         {Case{{"extract", "--target", dir / "x", dir / "game/fifo.tre"},
               dir / "game/fifo.tre",
               true},
          Case{{"insert", "--target", dir / "x", dir / "fifo.log"}, dir / "fifo.log", true},
          Case{{"insert", "--target", dir / "x", dir / "out/result.log"}, piece, false},
          Case{{"extract", "--target", dir / "x", dir / "game/font_main.fnt"},
               dir / "game/font_main.bmp",
               false}}) {
        const ProcessResult run = RunWithin(c.args);
        EXPECT_EQ(run.signal, 0) << c.fifo << " hung";
        if (c.listed) {
            EXPECT_EQ(run.exitCode, 1) << c.fifo << run.out << run.err;
            EXPECT_EQ(run.out, c.fifo + " is not a regular file!\n");
        } else {
            EXPECT_EQ(run.exitCode, 3) << c.fifo << run.out << run.err;
            EXPECT_NE(run.err.find(c.fifo + ": cannot open file: it is not a regular file"),
                      std::string::npos)
                << run.err;
        }
    }
    EXPECT_EQ(TakeSnapshot(dir / "game"), before);
    EXPECT_EQ(ReadWholeFile(pack), samples::BuildPack(Members()));
#endif
}

// A pack whose members all claim one 64 KiB region: the pieces would add up to far more than the
// pack could justify.
std::vector<std::uint8_t> OverlappingPack() {
    constexpr std::uint32_t kCount = samples::kNamesListIndex + 1;
    constexpr std::uint32_t kRegion = 64 * 1024;
    std::string names;
    for (std::uint32_t i = 0; i < kCount; ++i) {
        names += "m.bin\n";
    }
    const std::uint32_t regionAt = 4 + 16 * kCount;
    const std::uint32_t namesAt = regionAt + kRegion;
    std::vector<std::uint8_t> bytes(namesAt, 0);
    StoreU32le(bytes, 0, kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) {
        const bool isNames = i == samples::kNamesListIndex;
        StoreU32le(bytes, 4 + 16 * i, isNames ? namesAt : regionAt);
        StoreU32le(bytes, 4 + 16 * i + 4,
                   isNames ? static_cast<std::uint32_t>(names.size()) : kRegion);
    }
    bytes.insert(bytes.end(), names.begin(), names.end());
    return bytes;
}

// A scan of a tree that holds a sound pack beside an overlapping one, a dangling link and a
// directory that bear the pack's extension, and links out of the tree: the sound pack is
// extracted and logged, every other entry is a results line, and nothing outside the target
// changes.
TEST(CliHostile, AScanStaysInItsTreeAndRefusesWhatItCannotExtract) {
    EITOOL_SKIP_ON_WINDOWS(kNoLinks);
    TempDir dir;
    const std::string tree = dir / "tree";
    CreateDirectories(tree + "/sub/d.tre");
    CreateDirectories(dir / "outside");
    WriteWholeFile(dir / "outside/o.tre", samples::BuildPack(Members()));
    WriteWholeFile(tree + "/a.tre", samples::BuildPack(Members()));
    WriteWholeFile(tree + "/sub/overlap.tre", OverlappingPack());
    fs::create_symlink(dir / "nowhere", tree + "/sub/dangling.tre");
    fs::create_directory_symlink(dir / "outside", tree + "/out-link");
    fs::create_directory_symlink("/", tree + "/root-link");
    const Snapshot before = TakeSnapshot(dir.Path());

    const std::string target = dir / "target";
    const ProcessResult run =
        RunWithin({"extract", "--scan", tree, "--type", "tre", "--target", target});
    EXPECT_EQ(run.signal, 0) << "the scan hung";
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(run.out, tree + "/sub/d.tre is not a regular file!\n" + tree +
                           "/sub/dangling.tre is not a regular file!\n" + tree +
                           "/sub/overlap.tre would write more than 64 times its size; refused!\n");
    const TextLines log = LoadTextLines(target + "/result.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "#Source: " + tree + "/a.tre"), log.end());
    EXPECT_GT(log.size(), samples::kNamesListIndex);
    Snapshot after = TakeSnapshot(dir.Path());
    std::erase_if(after, [&](const auto& entry) { return entry.first.starts_with(target); });
    EXPECT_EQ(after, before);
}

} // namespace
} // namespace eitool::testing
