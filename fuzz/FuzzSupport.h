#pragma once

// What the fuzz targets share: a status surface that shows nothing, a private working directory
// per process, and the split of one input into several named files.

#include "common/FileStream.h"
#include "common/Refusal.h"
#include "common/RunError.h"
#include "run/RunContext.h"
#include "run/StatusSurface.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace eitool::fuzz {

class QuietSurface : public StatusSurface {
public:
    void SetCurrentMessage(const std::string&) override {}
    void SetExtracted(const std::string&) override {}
    int ProgressPosition() const override { return m_progress; }
    void SetProgressPosition(int position) override { m_progress = position; }
    void StepProgress() override {}
    void SetTotalMax(int) override {}
    void SetTotalPosition(int) override {}
    void ClearResults() override { m_lines = 0; }
    void AddResultLine(const std::string&) override { ++m_lines; }
    std::size_t ResultLineCount() const override { return m_lines; }
    std::vector<std::string> ResultLines() const override { return {}; }
    void FocusResults() override {}
    void EnableStop(bool) override {}
    void EnableSaveLog(bool) override {}
    void ProcessMessages() override {}

private:
    int m_progress = 0;
    std::size_t m_lines = 0;
};

// The process's own directory below $TMPDIR, made on first use. Fresh() empties it for the next
// input and makes its "out" directory, the target of every run.
class WorkDirectory {
public:
    static WorkDirectory& Get() {
        static WorkDirectory directory;
        return directory;
    }
    const std::string& Path() const { return m_path; }
    std::string Target() const { return m_path + "/out"; }
    std::string File(std::string_view name) const { return m_path + "/" + std::string(name); }

    void Fresh() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(m_path, error)) {
            std::filesystem::remove_all(entry.path(), error);
        }
        std::filesystem::create_directories(Target(), error);
    }

    // Makes the directory the working directory, so that relative names in a log or a list
    // stay inside it. Callers must refuse inputs whose names hold a separator.
    void Enter() const { (void)::chdir(m_path.c_str()); }

private:
    WorkDirectory()
        : m_path((std::filesystem::temp_directory_path() /
                  ("eitool-fuzz-" + std::to_string(::getpid())))
                     .string()) {
        std::filesystem::create_directories(m_path);
    }
    ~WorkDirectory() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }

    std::string m_path;
};

// One input split into files: the bytes before the first mark are the head; every mark
// "\n#@file NAME\n" starts a file of that name that runs to the next mark. Names keep only
// letters, digits, "_", "-", "." and "/", never start a part with "." or "/" and have at most 40
// characters, so that a file lies below the work directory; a file whose name ends up empty is
// dropped.
inline constexpr std::string_view kFileMark = "\n#@file ";
inline constexpr std::size_t kMaxFiles = 8;

struct NamedFile {
    std::string name;
    std::span<const std::uint8_t> bytes;
};

struct SplitInput {
    std::span<const std::uint8_t> head;
    std::vector<NamedFile> files;
};

inline std::string CleanName(std::string_view raw) {
    std::string name;
    for (char c : raw) {
        const bool partStart = name.empty() || name.back() == '/';
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                          ((c == '.' || c == '/') && !partStart);
        if (kept && name.size() < 40) {
            name.push_back(c);
        }
    }
    while (!name.empty() && name.back() == '/') {
        name.pop_back();
    }
    return name;
}

inline SplitInput Split(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SplitInput input;
    std::size_t mark = text.find(kFileMark);
    input.head = std::span(data, mark == std::string_view::npos ? size : mark);
    while (mark != std::string_view::npos && input.files.size() < kMaxFiles) {
        const std::size_t nameStart = mark + kFileMark.size();
        const std::size_t nameEnd = text.find('\n', nameStart);
        if (nameEnd == std::string_view::npos) {
            break;
        }
        const std::size_t next = text.find(kFileMark, nameEnd + 1);
        const std::size_t end = next == std::string_view::npos ? size : next;
        std::string name = CleanName(text.substr(nameStart, nameEnd - nameStart));
        if (!name.empty()) {
            input.files.push_back(
                {std::move(name), std::span(data + nameEnd + 1, end - nameEnd - 1)});
        }
        mark = next;
    }
    return input;
}

// Writes the files into the work directory, with their directories; a later file of the same
// name wins, and a file whose directory cannot be made (a file is in the way) is left out.
inline void WriteFiles(const WorkDirectory& work, const std::vector<NamedFile>& files) {
    for (const NamedFile& file : files) {
        const std::filesystem::path path = work.File(file.name);
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        try {
            WriteWholeFile(path.string(),
                           std::vector<std::uint8_t>(file.bytes.begin(), file.bytes.end()));
        } catch (const RunError&) {
        }
    }
}

// What a handler is given in a fuzz run: a run state aimed at the work directory's target, and a
// quiet surface.
struct QuietRun {
    explicit QuietRun(const WorkDirectory& work) { state.TargetDirectory = work.Target(); }
    QuietRun(const QuietRun&) = delete;
    QuietRun& operator=(const QuietRun&) = delete;

    RunState state;
    QuietSurface surface;
    RunContext run{state, surface};
};

// Writes the input as the file name in a fresh work directory, extracts it into the work target
// and, when the extraction added entry lines, replays them with the inserter (the file open in
// mode, the inserter's output at outputName in the work directory; empty: the file itself).
// A Refusal (a results line where the batch run or the replay calls the handler) or a RunError
// from either step is a clean refusal.
template <typename Extractor, typename Inserter>
void ExtractThenInsert(const std::uint8_t* data, std::size_t size, const std::string& name,
                       Extractor extract, Inserter insert, OpenMode mode,
                       const std::string& outputName) {
    const WorkDirectory& work = WorkDirectory::Get();
    work.Fresh();
    const std::string path = work.File(name);
    WriteWholeFile(path, std::vector<std::uint8_t>(data, data + size));
    QuietRun quiet(work);
    RunState& state = quiet.state;
    RunContext& run = quiet.run;
    try {
        extract(run, path);
        if (!state.ResultLog.empty()) {
            state.ReplayList = LineBuffer(state.ResultLog);
            state.SourceStream = std::make_unique<FileStream>(FileStream::Open(path, mode));
            insert(run, outputName.empty() ? path : work.File(outputName), 0);
        }
    } catch (const Refusal&) {
    } catch (const RunError&) {
    }
}

} // namespace eitool::fuzz
