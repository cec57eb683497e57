#pragma once

#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "formats/DataPack.h"
#include "run/RunContext.h"
#include "samples/SamplePack.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace eitool::testing {

using Bytes = std::vector<std::uint8_t>;

// kNamesListIndex + 1 + extra members named m<i>.bin; only those in nonEmpty carry data (a few
// distinct bytes each), so a pack needs only a handful of piece files.
inline std::vector<samples::PackMember> FewMembers(std::uint32_t extra,
                                                   const std::vector<std::uint32_t>& nonEmpty) {
    std::vector<samples::PackMember> members(samples::kNamesListIndex + 1 + extra);
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].name = "m" + std::to_string(i) + ".bin";
        members[i].third = 0x7E000000u + static_cast<std::uint32_t>(i);
    }
    for (const std::uint32_t i : nonEmpty) {
        const std::size_t size = 3 + i % 5;
        for (std::size_t b = 0; b < size; ++b) {
            members[i].data.push_back(static_cast<std::uint8_t>(i * 7 + b));
        }
    }
    return members;
}

// A temporary directory with a target folder, a run state and a recording surface.
class PackWorkbench {
public:
    TempDir dir;
    RunState state;
    RecordingSurface surface;

    PackWorkbench() {
        state.TargetDirectory = dir / "out";
        CreateDirectories(state.TargetDirectory);
    }

    RunContext Run(WriteHook* hook = nullptr) { return RunContext{state, surface, hook}; }

    std::string WritePack(const std::string& name, const Bytes& bytes) {
        const std::string path = dir / name;
        WriteWholeFile(path, bytes);
        return path;
    }

    // Extracts the pack and returns its entry lines.
    TextLines Extract(const std::string& packPath) {
        const std::size_t before = state.ResultLog.size();
        RunContext run = Run();
        ExtractDataPack(run, packPath);
        return TextLines(state.ResultLog.begin() + static_cast<std::ptrdiff_t>(before),
                         state.ResultLog.end());
    }

    // Replays entry lines into the pack as the log replay does: a block "TRE", the pack's path,
    // the entry lines and the next block's first line, with the pack open as the source.
    std::int32_t Insert(const std::string& packPath, const TextLines& entryLines,
                        WriteHook* hook = nullptr) {
        TextLines lines = {"TRE", packPath};
        lines.insert(lines.end(), entryLines.begin(), entryLines.end());
        lines.emplace_back("TRE");
        state.ReplayList = LineBuffer(lines);
        state.SourceStream = std::make_unique<FileStream>(FileStream::Open(packPath, omReadWrite));
        state.SourcePath = packPath;
        struct CloseSource {
            RunState& state;
            ~CloseSource() { state.SourceStream.reset(); }
        } closeSource{state};
        RunContext run = Run(hook);
        return InsertDataPack(run, JoinPath(state.TargetDirectory, FileNamePart(packPath)), 2);
    }
};

// Counts the writes of a run.
class CountingHook : public WriteHook {
public:
    int calls = 0;
    void BeforeWrite(const std::string&) override { ++calls; }
};

} // namespace eitool::testing
