#include "cli/CliDialogs.h"

#include "common/FileSystem.h"
#include "common/RunError.h"

namespace eitool::cli {

bool CliDialogs::SelectDirectory(const std::string&, std::string& directory) {
    if (!IsDirectory(m_target) && !CreateDirectories(m_target)) {
        throw FileCreateError(m_target, "cannot create the target directory");
    }
    directory = m_target;
    return true;
}

void CliDialogs::ShowMessage(const std::string&, const std::string&, MessageIcon) {}

} // namespace eitool::cli
