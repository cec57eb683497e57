#pragma once

#include <string>

#include "run/RunState.h"
#include "run/StatusSurface.h"

namespace eitool {

// A seam for tests: called before every write that changes a file the user already had (a data
// pack during insertion or restoration, and its journal), so that a test can make any one of them
// fail or end the process there.
class WriteHook {
public:
    virtual ~WriteHook() = default;
    virtual void BeforeWrite(const std::string& path) = 0;
};

// What a handler is given: the shared run state and the status surface.
struct RunContext {
    RunState& state;
    StatusSurface& surface;
    WriteHook* writeHook = nullptr;

    void BeforeWrite(const std::string& path) const {
        if (writeHook != nullptr) {
            writeHook->BeforeWrite(path);
        }
    }
};

} // namespace eitool
