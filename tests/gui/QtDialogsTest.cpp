#include "gui/QtDialogs.h"

#include "GuiSupport.h"
#include "app/FormatTable.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using gui::DirectoryPicker;
using gui::QtDialogs;
using testing::TempDir;
using testing::WhenModal;
using testing::WriteText;

// Answers the next message box with button, keeping its text.
testing::ModalAnswer Answer(QMessageBox::StandardButton button, std::string* text = nullptr) {
    return WhenModal([=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        if (text != nullptr) {
            *text = box->text().toStdString();
        }
        box->button(button)->click();
    });
}

TEST(DirectoryPicker, AMissingDirectoryIsCreatedWithItsParentsOnlyAfterYes) {
    TempDir tmp;
    const std::string missing = tmp / "new/deeper";
    DirectoryPicker picker(nullptr, QStringLiteral("Select Directory"),
                           QString::fromStdString(tmp.Path()));
    EXPECT_EQ(picker.windowTitle().toStdString(), "Select Directory");
    picker.show();
    // Typed, as a user would: the name of a missing directory is not selected in the view.
    auto* edit = picker.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(missing));
    auto* buttons = picker.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QPushButton* choose = buttons->button(QDialogButtonBox::Open);
    ASSERT_NE(choose, nullptr);
    EXPECT_TRUE(choose->isEnabled());

    std::string question;
    {
        const auto no = Answer(QMessageBox::No, &question);
        picker.accept();
    }
    EXPECT_EQ(question, "The specified directory does not exist. Create it?");
    EXPECT_TRUE(picker.isVisible());
    EXPECT_FALSE(std::filesystem::exists(missing));

    const auto yes = Answer(QMessageBox::Yes);
    choose->click();
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.selectedFiles().value(0).toStdString(), missing);
}

// The open dialog shows the form's title and file types as they stand and gives back the chosen
// files and type.
TEST(QtDialogs, OpenDialogShowsTheFormsFileTypesAndGivesBackTheChoice) {
    TempDir tmp;
    WriteText(tmp / "a.fnt", "");
    FileDialog dialog;
    dialog.title = "Select file...";
    dialog.filter = OpenDialogFilter();
    dialog.options = ofAllowMultiSelect;
    dialog.filterIndex = kTypeFonts;
    std::string title;
    std::vector<std::string> types;
    std::string chosenType;
    const auto answer = WhenModal([&](QWidget* modal) {
        auto* qt = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(qt, nullptr);
        title = qt->windowTitle().toStdString();
        const auto* combo = qt->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(combo, nullptr);
        for (int i = 0; i < combo->count(); ++i) {
            types.push_back(combo->itemText(i).toStdString());
        }
        chosenType = combo->currentText().toStdString();
        qt->setDirectory(QString::fromStdString(tmp.Path()));
        // Typed: a selection in the view would wait for the directory's listing.
        auto* edit = qt->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("a.fnt"));
        QMetaObject::invokeMethod(qt, "accept");
    });
    QtDialogs dialogs;
    ASSERT_TRUE(dialogs.OpenFiles(dialog));
    EXPECT_EQ(title, "Select file...");
    EXPECT_EQ(types, (std::vector<std::string>{"Data Packs (*.tre)",
                                               "Extended Images (*.bmpx,*.tgax)", "Fints (*.fnt)",
                                               "Project list files (*.lst)", "Log files (*.log)"}));
    EXPECT_EQ(chosenType, "Fints (*.fnt)");
    EXPECT_EQ(dialog.files, (TextLines{tmp / "a.fnt"}));
    EXPECT_EQ(dialog.filterIndex, kTypeFonts);
}

TEST(QtDialogs, MessageBoxesShowTheirTextCaptionAndButtons) {
    QtDialogs dialogs;
    std::string caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const auto ok = WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle().toStdString();
        icon = box->icon();
        // Wide enough for its caption in the title bar.
        EXPECT_GT(box->sizeHint().width(),
                  box->fontMetrics().horizontalAdvance(box->windowTitle()) + 100);
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.ShowMessage("Operation complete!", "Process status:", miInformation);
    EXPECT_EQ(caption, "Process status:");
    EXPECT_EQ(icon, QMessageBox::Information);

    const auto yes = Answer(QMessageBox::Yes);
    EXPECT_TRUE(dialogs.AskYesNo("Replace them?", "Extract\\Insert Tool", DefaultAnswer::No));
    const auto no = Answer(QMessageBox::No);
    EXPECT_FALSE(dialogs.AskYesNo("Replace them?", "Extract\\Insert Tool", DefaultAnswer::Yes));
}

// Enter gives the answer the form made the default.
TEST(QtDialogs, EnterGivesTheDefaultAnswer) {
    QtDialogs dialogs;
    for (const DefaultAnswer answer : {DefaultAnswer::Yes, DefaultAnswer::No}) {
        const auto enter =
            WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        EXPECT_EQ(dialogs.AskYesNo("Replace them?", "Process status:", answer),
                  answer == DefaultAnswer::Yes);
    }
}

} // namespace
} // namespace eitool
