#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace eitool::testing {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes.
class TempDir {
public:
    TempDir() {
        std::random_device device;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("eitool-test-" + std::to_string(device()));
            if (std::filesystem::create_directory(m_path)) {
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path() const { return m_path.string(); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace eitool::testing
