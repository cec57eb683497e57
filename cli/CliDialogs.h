#pragma once

#include <string>

#include "app/Dialogs.h"

namespace eitool::cli {

// The dialogs of the command line: the directory picker answers with the --target directory,
// creating it with its missing parents as the picker does once the user agreed; the closing
// message box shows nothing, since the exit status says how the run ended.
class CliDialogs : public Dialogs {
public:
    explicit CliDialogs(std::string target) : m_target(std::move(target)) {}

    bool SelectDirectory(const std::string& title, std::string& directory) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;

private:
    std::string m_target;
};

} // namespace eitool::cli
