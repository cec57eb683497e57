#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
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
    // name is written with "/"; the path has the platform's separators.
    std::string operator/(const std::string& name) const {
        return (m_path / name).make_preferred().string();
    }

private:
    std::filesystem::path m_path;
};

// Writes text as the file's bytes, making its directory first.
inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace eitool::testing
