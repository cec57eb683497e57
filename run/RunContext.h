#pragma once

#include "common/WriteHook.h"
#include "run/RunState.h"
#include "run/StatusSurface.h"

#include <functional>
#include <string>

namespace eitool {

// What a handler is given: the shared run state, the status surface and the test seam that sees
// every write to a user's file, and the question whether edited pieces may be replaced.
struct RunContext {
    RunState& state;
    StatusSurface& surface;
    WriteHook* writeHook = nullptr;
    // Asked at most once per run, before the first edited piece would be replaced; true when the
    // user agrees. Without it edited pieces are never replaced.
    std::function<bool()> confirmReplace = nullptr;
    // Asked at most once per run when an insertion finds pieces that grew and the run state's
    // Grow is Ask; true when the user wants the packs rebuilt.
    std::function<bool()> confirmGrow = nullptr;

    void BeforeWrite(const std::string& path) const { CallWriteHook(writeHook, path); }
};

} // namespace eitool
