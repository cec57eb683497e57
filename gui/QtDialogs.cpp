#include "gui/QtDialogs.h"

#include "app/TDirForm.h"
#include "common/FileSystem.h"
#include "gui/DirDialog.h"
#include "gui/QtText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <string_view>
#include <vector>

namespace eitool::gui {

namespace {

// The caption of the boxes that show a failure.
constexpr const char* kFailureCaption = "Extract\\Insert Tool";

// One name filter of a Qt file dialog per pair of a filter text ("Data Packs (*.tre)|*.tre|...").
// The description is shown as it stands; the patterns follow in parentheses of their own, which
// the dialog uses and hides (a description such as "Extended Images (*.bmpx,*.tgax)" holds no
// pattern Qt could use).
QStringList NameFilters(const std::string& filter) {
    QStringList filters;
    const QStringList fields = ToQt(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QString mask = i + 1 < fields.size() ? fields[i + 1] : QString();
        filters << fields[i] + QStringLiteral(" (") + mask.split(QLatin1Char(';')).join(' ') +
                       QLatin1Char(')');
    }
    return filters;
}

// Sets up a file dialog as the form describes it; the type chosen last is chosen again.
void Prepare(QFileDialog& qt, const FileDialog& dialog, const QStringList& filters) {
    qt.setWindowTitle(ToQt(dialog.title));
    qt.setOption(QFileDialog::DontUseNativeDialog);
    qt.setOption(QFileDialog::HideNameFilterDetails);
    qt.setNameFilters(filters);
    if (dialog.filterIndex >= 1 && dialog.filterIndex <= filters.size()) {
        qt.selectNameFilter(filters[dialog.filterIndex - 1]);
    }
}

// The position of the chosen type, from 1. The dialog names it by the whole filter or, with its
// details hidden, by the text it shows (the description).
int ChosenType(const QFileDialog& qt, const QStringList& filters) {
    const QString chosen = qt.selectedNameFilter();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (filters[i] == chosen || filters[i].startsWith(chosen + QStringLiteral(" ("))) {
            return static_cast<int>(i) + 1;
        }
    }
    return 1;
}

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
    case miWarning:
        return QMessageBox::Warning;
    case miError:
        return QMessageBox::Critical;
    case miInformation:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

DirectoryPicker::DirectoryPicker(QWidget* parent, const QString& title, const QString& directory)
    : QFileDialog(parent, title, directory) {
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ShowDirsOnly);
    setFileMode(QFileDialog::Directory);
    setAcceptMode(QFileDialog::AcceptOpen);
    // The dialog greys its Choose button for a typed directory that does not exist; this one
    // creates it, so the button is enabled again whenever the dialog greys it for such a name.
    if (auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        buttons != nullptr) {
        m_choose = buttons->button(QDialogButtonBox::Open);
    }
    if (m_choose != nullptr) {
        m_choose->installEventFilter(this);
    }
}

bool DirectoryPicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_choose && event->type() == QEvent::EnabledChange && !m_choose->isEnabled()) {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && !chosen.front().isEmpty() && !QFileInfo::exists(chosen.front())) {
            m_choose->setEnabled(true);
        }
    }
    return QFileDialog::eventFilter(watched, event);
}

void DirectoryPicker::accept() {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty() && !QFileInfo::exists(chosen.front())) {
        if (ShowMessageBox(this, QMessageBox::Question, windowTitle(),
                           QStringLiteral("The specified directory does not exist. Create it?"),
                           QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
        bool created = false;
        Guarded(this, [&] {
            CreateDirectories(FromQt(chosen.front()));
            created = true;
        });
        if (!created) {
            return;
        }
    }
    QFileDialog::accept();
}

bool QtDialogs::OpenFiles(FileDialog& dialog) {
    const QStringList filters = NameFilters(dialog.filter);
    QFileDialog qt(m_parent);
    Prepare(qt, dialog, filters);
    qt.setAcceptMode(QFileDialog::AcceptOpen);
    qt.setFileMode((dialog.options & ofAllowMultiSelect) != 0 ? QFileDialog::ExistingFiles
                                                              : QFileDialog::ExistingFile);
    if (qt.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.files = FromQt(qt.selectedFiles());
    dialog.filterIndex = ChosenType(qt, filters);
    return true;
}

bool QtDialogs::SaveFile(FileDialog& dialog) {
    const QStringList filters = NameFilters(dialog.filter);
    QFileDialog qt(m_parent);
    Prepare(qt, dialog, filters);
    qt.setAcceptMode(QFileDialog::AcceptSave);
    qt.setFileMode(QFileDialog::AnyFile);
    qt.setDefaultSuffix(ToQt(dialog.defaultExt));
    qt.setOption(QFileDialog::DontConfirmOverwrite, (dialog.options & ofOverwritePrompt) == 0);
    if (!dialog.fileName.empty()) {
        qt.selectFile(ToQt(dialog.fileName));
    }
    if (qt.exec() != QDialog::Accepted || qt.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.fileName = FromQt(qt.selectedFiles().front());
    dialog.filterIndex = ChosenType(qt, filters);
    return true;
}

bool QtDialogs::SelectDirectory(const std::string& title, std::string& directory) {
    DirectoryPicker picker(m_parent, ToQt(title), ToQt(directory));
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty()) {
        return false;
    }
    directory = FromQt(picker.selectedFiles().front());
    return true;
}

bool QtDialogs::ShowDirForm(TDirForm& form) {
    DirDialog dialog(form, m_parent);
    dialog.Refresh();
    return dialog.exec() == QDialog::Accepted;
}

void QtDialogs::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
    ShowMessageBox(m_parent, IconOf(icon), ToQt(caption), ToQt(text), QMessageBox::Ok);
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& caption,
                         DefaultAnswer defaultAnswer) {
    return ShowMessageBox(m_parent, QMessageBox::Question, ToQt(caption), ToQt(text),
                          QMessageBox::Yes | QMessageBox::No,
                          defaultAnswer == DefaultAnswer::No
                              ? QMessageBox::No
                              : QMessageBox::Yes) == QMessageBox::Yes;
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    // A box as narrow as a short text would cut its caption in the title bar; a spacer keeps
    // it wide enough for the caption and the title bar's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid != nullptr) {
        const int width = QFontMetrics(QApplication::font()).horizontalAdvance(caption) + 140;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowFailure(QWidget* parent, const char* text) {
    ShowMessageBox(parent, QMessageBox::Critical, QString::fromLatin1(kFailureCaption),
                   QString::fromLocal8Bit(text), QMessageBox::Ok);
}

} // namespace eitool::gui
