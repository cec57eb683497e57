#include "support/Platform.h"

#ifdef _WIN32
#include "common/WindowsApi.h"
#endif

namespace eitool::testing {

void MarkHidden(const std::string& path) {
#ifdef _WIN32
    SetFileAttributesA(path.c_str(), GetFileAttributesA(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
    static_cast<void>(path);
#endif
}

} // namespace eitool::testing
