#pragma once

#include "common/FileStream.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace eitool::testing {

// Every regular file below a directory with its bytes: a snapshot to compare before and after a
// run that must write nothing there.
inline std::map<std::string, std::vector<std::uint8_t>> FilesBelow(const std::string& directory) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = ReadWholeFile(entry.path().string());
        }
    }
    return files;
}

} // namespace eitool::testing
