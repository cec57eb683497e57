#pragma once

#include "common/WriteHook.h"
#include "run/RunState.h"
#include "run/StatusSurface.h"

#include <string>

namespace eitool {

// What a handler is given: the shared run state, the status surface and the test seam that sees
// every write to a user's file.
struct RunContext {
    RunState& state;
    StatusSurface& surface;
    WriteHook* writeHook = nullptr;

    void BeforeWrite(const std::string& path) const { CallWriteHook(writeHook, path); }
};

} // namespace eitool
