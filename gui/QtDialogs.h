#pragma once

#include "app/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <exception>
#include <string>

namespace eitool::gui {

// The directory picker "Select Directory": a directory may be typed that does not exist yet;
// accepting it asks "The specified directory does not exist. Create it?" and creates it with its
// missing parents on Yes, while No leaves the picker open. Its Choose button is enabled for such
// a directory as for one that exists.
class DirectoryPicker : public QFileDialog {
    Q_OBJECT

public:
    DirectoryPicker(QWidget* parent, const QString& title, const QString& directory);

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* m_choose = nullptr; // the dialog's own Choose button
};

// The window's dialogs, shown as real Qt dialogs owned by parent.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    bool OpenFiles(FileDialog& dialog) override;
    bool SaveFile(FileDialog& dialog) override;
    bool SelectDirectory(const std::string& title, std::string& directory) override;
    bool ShowDirForm(TDirForm& form) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;

    // A question with Yes and No, Enter pressing the default one; true for Yes.
    bool AskYesNo(const std::string& text, const std::string& caption,
                  DefaultAnswer defaultAnswer) override;

private:
    QWidget* m_parent;
};

// Every message box of the window: text, caption, icon, buttons and the one Enter presses (Qt's
// choice where none is given); the button pressed.
QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
               QMessageBox::StandardButtons buttons,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Shows the text of a failure that ended an action; the program goes on.
void ShowFailure(QWidget* parent, const char* text);

// Runs action; an exception it throws is shown in a message box instead of leaving the event
// handler, so the program goes on.
template <typename Action> void Guarded(QWidget* parent, Action&& action) {
    try {
        action();
    } catch (const std::bad_alloc&) {
        ShowFailure(parent, "Out of memory");
    } catch (const std::exception& failure) {
        ShowFailure(parent, failure.what());
    }
}

} // namespace eitool::gui
