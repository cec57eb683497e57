// Text lines and project lists. SplitTextLines must give lines without line ends that split
// again to themselves once joined with CR LF; the same bytes, added as a project list through
// the form, must become the input list, and the list saved through the form must load back
// the same.
#include "FuzzSupport.h"
#include "app/AnsweringDialogs.h"
#include "app/TMainForm.h"
#include "common/FileSystem.h"
#include "common/LineBuffer.h"
#include "common/RunError.h"
#include "common/TextLines.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void CheckSplit(const eitool::TextLines& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
        joined += line;
        joined += "\r\n";
    }
    if (eitool::SplitTextLines(joined) != lines) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const eitool::TextLines lines = eitool::SplitTextLines(text);
    CheckSplit(lines);
    if (!(eitool::LineBuffer::FromText(std::string(text)) == lines)) {
        std::abort();
    }
    // A project list's blank lines are passed over.
    eitool::TextLines entries;
    for (const std::string& line : lines) {
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) > ' '; })) {
            entries.push_back(line);
        }
    }

    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string listPath = work.File("in.lst");
    eitool::WriteWholeFile(listPath, std::vector<std::uint8_t>(data, data + size));
    if (eitool::LoadTextLines(listPath) != lines) {
        std::abort();
    }
    eitool::fuzz::QuietSurface surface;
    eitool::AnsweringDialogs dialogs;
    dialogs.open = eitool::OpenAnswer{{listPath}, eitool::kTypeProjectList};
    dialogs.save = work.File("saved.lst");
    eitool::TMainForm form(surface, dialogs);
    try {
        form.BAddLogClick();
        // NOTE: a list with a NUL byte may be refused line by line, so only lists without one
        // must come through whole.
        if (text.find('\0') == std::string_view::npos && form.State().inputList != entries) {
            std::abort();
        }
        form.BSaveListClick();
    } catch (const eitool::RunError&) {
        return 0;
    }
    // Only a list of result logs is saved as a project list; any other is refused with a message.
    if (!eitool::FileExists(*dialogs.save)) {
        return 0;
    }
    if (eitool::LoadTextLines(*dialogs.save) != form.State().inputList) {
        std::abort();
    }
    return 0;
}
