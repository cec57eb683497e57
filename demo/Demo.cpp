#include "demo/Demo.h"

#include "app/RunSummary.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "common/RunError.h"
#include "demo/DemoSection.h"
#include "samples/SamplePack.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace eitool::demo {

namespace {

// A directory holding this file was made by the demo, and the next demo may clear it.
constexpr const char* kMarkerName = ".eitool-demo";

// Every format adds its section here as it arrives: the title of its report, the directory it
// works in below the root, and its maker.
struct SectionKind {
    const char* title;
    const char* folder;
    std::unique_ptr<DemoSection> (*make)(const DemoContext&, const std::string&);
};

constexpr SectionKind kSections[] = {
    {"Data pack cycle", "datapack", MakeDataPackSection},
    {"Texture cycle", "textures", MakeTextureSection},
    {"Font cycle", "font", MakeFontSection},
};

// Runs one step: times it and reports its line. A throw ends the step as a failure.
bool RunStep(DemoContext& demo, const char* name, DemoSection& section,
             StepOutcome (DemoSection::*step)()) {
    const auto start = Clock::now();
    StepOutcome outcome;
    try {
        outcome = (section.*step)();
    } catch (const std::exception& error) {
        outcome = Failed(std::string("the ") + name + " step ended: " + error.what());
        demo.host->ReportError(error.what());
    }
    ReportStep(demo, SecondsSince(start),
               outcome.passed ? outcome.text : "FAILED: " + outcome.text);
    return outcome.passed;
}

// Removes everything in a directory that an earlier demo made.
void ClearDirectory(const std::string& directory) {
    for (const DirectoryEntry& entry : ListDirectory(directory)) {
        RemoveTree(JoinPath(directory, entry.name));
    }
}

// Makes root ready: a new or empty directory, or one an earlier demo made (then cleared).
void PrepareRoot(const std::string& root) {
    if (FileExists(root) && !IsDirectory(root)) {
        throw ForeignDirectoryError(root + " is not a directory");
    }
    if (IsDirectory(root)) {
        const std::vector<DirectoryEntry> entries = ListDirectory(root);
        const bool marked =
            std::any_of(entries.begin(), entries.end(),
                        [](const DirectoryEntry& entry) { return entry.name == kMarkerName; });
        if (!entries.empty() && !marked) {
            throw ForeignDirectoryError(root +
                                        " is not empty and was not made by eitool demo; give a "
                                        "new or empty directory");
        }
        ClearDirectory(root);
    } else {
        MakeDirectory(root);
    }
    const std::string note = "Made by eitool demo; the next demo clears this directory.\n";
    WriteWholeFile(JoinPath(root, kMarkerName), Bytes(note.begin(), note.end()));
}

} // namespace

bool RunSection(DemoContext& demo, const std::string& title, DemoSection& section) {
    static constexpr std::pair<const char*, StepOutcome (DemoSection::*)()> kSteps[] = {
        {"make", &DemoSection::Make},   {"extract", &DemoSection::Extract},
        {"edit", &DemoSection::Edit},   {"insert", &DemoSection::Insert},
        {"check", &DemoSection::Check},
    };
    demo.host->Report(title + "\n");
    for (const auto& [name, step] : kSteps) {
        if (!RunStep(demo, name, section, step)) {
            demo.passed = false;
            return false;
        }
    }
    return true;
}

void MakeDirectory(const std::string& directory) {
    if (!CreateDirectories(directory)) {
        throw FileCreateError(directory, "cannot create directory");
    }
}

std::string ResultsProblem(const std::string& run, const FormRun& form,
                           const std::vector<std::string>& expected) {
    if (form.results == expected) {
        return {};
    }
    if (expected.empty()) {
        return run + " reported: " + form.results.front();
    }
    return run + " reported " + std::to_string(form.results.size()) + " results lines, not \"" +
           Joined(expected, "\", \"") + "\"";
}

std::string Joined(const std::vector<std::string>& texts, const std::string& separator) {
    std::string joined;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        joined += (i == 0 ? "" : separator) + texts[i];
    }
    return joined;
}

bool RunDemo(DemoHost& host, const std::string& root) {
    DemoContext demo;
    demo.host = &host;
    demo.root = root;
    PrepareRoot(demo.root);

    demo.host->Report("eitool demo: the whole cycle on generated sample files in " + demo.root +
                      "\n");
    const auto start = Clock::now();
    for (const SectionKind& kind : kSections) {
        const std::string base = JoinPath(demo.root, kind.folder);
        demo.host->Report("\n");
        const std::unique_ptr<DemoSection> section = kind.make(demo, base);
        RunSection(demo, std::string(kind.title) + " in " + base, *section);
    }
    demo.host->Report("\n" + std::string(demo.passed ? "All checks passed" : "Some checks FAILED") +
                      " (" + SecondsText(SecondsSince(start)) + " in all).\n");
    return demo.passed;
}

} // namespace eitool::demo
