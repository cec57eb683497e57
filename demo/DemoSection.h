#pragma once

#include "common/Paths.h"
#include "demo/DemoSupport.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace eitool::demo {

// What a step of a section did, for its report line, or what went wrong.
struct StepOutcome {
    bool passed = true;
    std::string text;
};

inline StepOutcome Done(std::string text) {
    return {true, std::move(text)};
}
inline StepOutcome Failed(std::string text) {
    return {false, std::move(text)};
}

// One format's cycle on sample files, in a directory of its own (its base). The steps run in
// this order, each once, and each builds on what the ones before it left; a step that fails
// ends the section.
class DemoSection {
public:
    DemoSection(const DemoContext& demo, std::string base)
        : m_demo(demo), m_base(std::move(base)) {}
    virtual ~DemoSection() = default;

    virtual StepOutcome Make() = 0;    // the sample files of the game
    virtual StepOutcome Extract() = 0; // a run through the form model, and what it wrote
    virtual StepOutcome Edit() = 0;    // what a translator would change in the pieces
    virtual StepOutcome Insert() = 0;  // a replay of the log, and its results lines
    virtual StepOutcome Check() = 0;   // what the insertion must have written, byte for byte

protected:
    // The path of relative below the base.
    std::string At(std::string_view relative) const { return JoinPath(m_base, relative); }
    // path as the report shows it: below the base, relative to it.
    std::string Shown(const std::string& path) const { return RelativeTo(path, m_base); }
    // A run through the form model, as `eitool extract` and `eitool insert` make it.
    FormRun RunForm(int position, const TextLines& files, std::string_view target) const {
        return RunThroughForm(m_demo, position, files, At(target));
    }

private:
    const DemoContext& m_demo;
    const std::string m_base;
};

// Reports the title line, then runs the steps of section: each is timed and reported on a line
// of its own, "FAILED: " before what went wrong. The first step that fails or throws ends the
// section (what it threw also goes to the host's error output). Returns whether every step
// passed, and clears demo.passed when one did not.
bool RunSection(DemoContext& demo, const std::string& title, DemoSection& section);

// The sections, each working below its own base directory.
std::unique_ptr<DemoSection> MakeDataPackSection(const DemoContext& demo, const std::string& base);
std::unique_ptr<DemoSection> MakeTextureSection(const DemoContext& demo, const std::string& base);
std::unique_ptr<DemoSection> MakeFontSection(const DemoContext& demo, const std::string& base);

// Helpers of the steps.

// Creates directory and its missing parents (throws FileCreateError).
void MakeDirectory(const std::string& directory);

// Empty when a run's results lines are exactly the expected ones; otherwise what the run named
// ("extraction", "insertion") reported instead.
std::string ResultsProblem(const std::string& run, const FormRun& form,
                           const std::vector<std::string>& expected = {});

// The texts joined with separator between them.
std::string Joined(const std::vector<std::string>& texts, const std::string& separator);

} // namespace eitool::demo
