#pragma once

#include <string>

namespace eitool {

enum MessageIcon { miInformation, miWarning, miError };

// The dialogs the form model asks for; the window shows real ones, the command line answers them
// from its arguments, tests script them.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // The directory picker: title "Select Directory", started at directory. On confirmation it
    // returns true with the chosen path in directory; a chosen directory that does not exist has
    // been created with its missing parents (after the user agreed).
    virtual bool SelectDirectory(const std::string& title, std::string& directory) = 0;

    // A message box with one OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
};

} // namespace eitool
