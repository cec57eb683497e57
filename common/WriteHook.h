#pragma once

#include <string>

namespace eitool {

// A seam for tests: called before every write that changes a file the user already had (a data
// pack during insertion or restoration and its journal, and every file that a pending file
// renames over its target), so that a test can make any one of them fail or end the process
// there.
class WriteHook {
public:
    virtual ~WriteHook() = default;
    virtual void BeforeWrite(const std::string& path) = 0;
};

// Calls the hook when there is one.
inline void CallWriteHook(WriteHook* hook, const std::string& path) {
    if (hook != nullptr) {
        hook->BeforeWrite(path);
    }
}

} // namespace eitool
