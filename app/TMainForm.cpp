#include "app/TMainForm.h"
// (being written)
namespace eitool {
TMainForm::TMainForm(StatusSurface& surface, Dialogs& dialogs) : m_surface(surface), m_dialogs(dialogs) {}
void TMainForm::AddFilesConfirmed(int, const TextLines&) {}
void TMainForm::BProcessClick() {}
void TMainForm::ProcessInputFile(std::uint8_t, const std::string&) {}
void TMainForm::ReplayLog(const std::string&) {}
void TMainForm::ProcessDirConfirmed(const std::string&, int, const std::string&) {}
void TMainForm::ScanDirectory(const std::string&) {}
void TMainForm::StopClick() {}
void TMainForm::EnableListButtons(bool) {}
std::string TMainForm::ReadFirstWord(const std::string&) const { return {}; }
} // namespace eitool
