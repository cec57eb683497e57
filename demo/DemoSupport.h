#pragma once

#include "common/TextLines.h"
#include "demo/Demo.h"
#include "run/RunState.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace eitool::demo {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// What every section of the demo shares: the host, where it works, and
// whether every check so far passed.
struct DemoContext {
    DemoHost* host = nullptr;
    std::string root;
    bool passed = true;
};

double SecondsSince(Clock::time_point start);

// One line of the report: the time a step took, then what it did.
void ReportStep(const DemoContext& demo, double seconds, const std::string& what);

// path without the leading base directory, when it lies below it.
std::string RelativeTo(const std::string& path, const std::string& base);

// What a run through the form model left: the results-pane lines and the counts.
struct FormRun {
    std::vector<std::string> results;
    RunStats stats;
};

// Drives the form model exactly as `eitool extract` and `eitool insert` do: fill the input list
// with files of the open dialog's type at position, answer the picker with target, press
// Process. A failure that ends the run is thrown on.
FormRun RunThroughForm(const DemoContext& demo, int position, const TextLines& files,
                       const std::string& target);

} // namespace eitool::demo
