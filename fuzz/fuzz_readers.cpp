// Feeds arbitrary bytes to the three game-file readers as a data pack, an extended image and a
// font: each must either handle the file or refuse it with a RunError, never crash or allocate
// what the bytes cannot justify. The first byte picks the reader.
#include "common/FileStream.h"
#include "common/RunError.h"
#include "formats/DataPack.h"
#include "formats/Font.h"
#include "images/Bitmap.h"
#include "images/ExtendedImage.h"
#include "run/RunContext.h"
#include "samples/SamplePack.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class QuietSurface : public eitool::StatusSurface {
public:
    void SetCurrentMessage(const std::string&) override {}
    void SetExtracted(const std::string&) override {}
    int ProgressPosition() const override { return m_progress; }
    void SetProgressPosition(int position) override { m_progress = position; }
    void StepProgress() override {}
    void SetTotalMax(int) override {}
    void SetTotalPosition(int) override {}
    void ClearResults() override {}
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

const std::string& WorkDirectory() {
    static const std::string directory = [] {
        const auto path =
            std::filesystem::temp_directory_path() / ("eitool-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "out");
        return path.string();
    }();
    return directory;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string base = WorkDirectory();
    const std::uint8_t which = data[0] % 3;
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    static const char* const kNames[] = {"/in.tre", "/in.bmpx", "/in.fnt"};
    const std::string path = base + kNames[which];
    eitool::WriteWholeFile(path, bytes);
    if (which == 2) {
        // The font's sheet: a small 8-bit bitmap beside it, under every name a font may give.
        static bool sheetMade = false;
        if (!sheetMade) {
            eitool::Bitmap sheet;
            sheet.SetPixelFormat(eitool::pf8bit);
            sheet.SetSize(64, 64);
            sheet.SaveToFile(base + "/a.bmp");
            sheetMade = true;
        }
    }
    eitool::RunState state;
    state.TargetDirectory = base + "/out";
    QuietSurface surface;
    eitool::RunContext run{state, surface};
    try {
        switch (which) {
        case 0:
            eitool::ExtractDataPack(run, path);
            break;
        case 1:
            eitool::ExtractExtendedImage(run, path);
            break;
        default:
            eitool::ExtractFont(run, path);
            break;
        }
    } catch (const eitool::RunError&) {
    }
    std::error_code error;
    std::filesystem::remove_all(base + "/out", error);
    std::filesystem::create_directories(base + "/out", error);
    return 0;
}
