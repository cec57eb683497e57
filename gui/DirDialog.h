#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace eitool {
class TDirForm;
}

namespace eitool::gui {

// The directory dialog "Directory to add", drawn from its form model: edits and clicks go to the
// model's handlers and the widgets show what the model then holds. Neither button answers Enter
// or Esc; closing the window is Cancel.
class DirDialog : public QDialog {
    Q_OBJECT

public:
    DirDialog(TDirForm& form, QWidget* parent);

    // Shows the model's state: the directory text, the file types and the chosen one, Ok.
    void Refresh();

    QLineEdit* ScanDir() const { return m_scanDir; }
    QToolButton* CallDialog() const { return m_callDialog; }
    QComboBox* Filter() const { return m_filter; }
    QPushButton* BOk() const { return m_bOk; }
    QPushButton* BCancel() const { return m_bCancel; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CallDialogClick();

    TDirForm& m_form;
    QLineEdit* m_scanDir;
    QToolButton* m_callDialog;
    QComboBox* m_filter;
    QPushButton* m_bOk;
    QPushButton* m_bCancel;
};

} // namespace eitool::gui
