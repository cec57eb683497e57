#pragma once

#include "common/Paths.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

// Skips the rest of a test on Windows with its reason printed. Links (MinGW's std::filesystem
// cannot make them), FIFOs, fork and signals sent to a child have no Windows counterpart that
// the tests could set up.
#ifdef _WIN32
#define EITOOL_SKIP_ON_WINDOWS(why) GTEST_SKIP() << "Not on Windows: " << (why)
#else
#define EITOOL_SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

namespace eitool::testing {

inline constexpr const char* kNoLinks = "MinGW's std::filesystem cannot make links";
inline constexpr const char* kNoFifos = "there are no FIFOs";
inline constexpr const char* kNoFork = "a test cannot fork a child that dies at a write";

// A relative path written with "/" as the platform writes it.
inline std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '/') {
            c = kPathSeparator;
        }
    }
    return native;
}

// Makes an entry whose name begins with "." hidden on Windows too, where the hidden attribute
// says it (nothing to do elsewhere).
void MarkHidden(const std::string& path);

} // namespace eitool::testing
