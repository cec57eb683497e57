#include "gui/DirDialog.h"

#include "GuiSupport.h"
#include "app/FormatTable.h"
#include "app/TDirForm.h"
#include "common/FileSystem.h"
#include "gui/MainWindow.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace eitool {
namespace {

using gui::DirDialog;
using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WriteText;

class DirDialogTest : public ::testing::Test {
protected:
    DirDialogTest() : form(selectLog, dialogs), dialog(form, nullptr) {
        selectLog.filter = OpenDialogFilter();
        form.FormShow();
        dialog.Refresh();
    }

    FileDialog selectLog;
    ScriptedDialogs dialogs;
    TDirForm form;
    DirDialog dialog;
};

TEST_F(DirDialogTest, CaptionsAndPlaceAreTheDesignedOnes) {
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Directory to add");
    EXPECT_EQ(dialog.size(), QSize(418, 53));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.pos(), QPoint(298, 293));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::Tool));
    std::vector<std::string> labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        labels.push_back(label->text().toStdString());
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Directory:", "File Type:"}));
    EXPECT_EQ(dialog.ScanDir()->width(), 201);
    EXPECT_EQ(dialog.Filter()->width(), 227);
    EXPECT_FALSE(dialog.Filter()->isEditable());
    EXPECT_FALSE(dialog.CallDialog()->icon().isNull());
    std::vector<std::string> types;
    for (int i = 0; i < dialog.Filter()->count(); ++i) {
        types.push_back(dialog.Filter()->itemText(i).toStdString());
    }
    EXPECT_EQ(types, (std::vector<std::string>{"Data Packs (*.tre)",
                                               "Extended Images (*.bmpx,*.tgax)", "Fints (*.fnt)",
                                               "Project list files (*.lst)", "Log files (*.log)"}));
    EXPECT_EQ(dialog.Filter()->currentIndex(), 0);
    EXPECT_EQ(dialog.BOk()->text().toStdString(), "Ok");
    EXPECT_EQ(dialog.BCancel()->text().toStdString(), "Cancel");
    EXPECT_FALSE(dialog.BOk()->isEnabled());
    EXPECT_TRUE(dialog.BCancel()->isEnabled());
}

TEST_F(DirDialogTest, EditsAndChoicesGoToTheForm) {
    QTest::keyClicks(dialog.ScanDir(), "/games");
    EXPECT_EQ(form.ScanDir(), "/games");
    EXPECT_TRUE(dialog.BOk()->isEnabled());
    dialog.Filter()->setCurrentIndex(1);
    emit dialog.Filter()->activated(1);
    EXPECT_EQ(form.TypeIndex(), kTypeIndexExtendedImages);
    EXPECT_EQ(form.TypeMask(), "*.bmpx;*.tgax");
    dialog.ScanDir()->clear();
    QTest::keyClick(dialog.ScanDir(), Qt::Key_A);
    QTest::keyClick(dialog.ScanDir(), Qt::Key_Backspace);
    EXPECT_FALSE(dialog.BOk()->isEnabled());

    // The folder button puts the picker's choice into the edit box.
    dialogs.picker = "/picked";
    dialog.CallDialog()->click();
    EXPECT_EQ(dialog.ScanDir()->text().toStdString(), "/picked");
    EXPECT_TRUE(dialog.BOk()->isEnabled());
}

TEST_F(DirDialogTest, NeitherEnterNorEscCloseItAndClosingIsCancel) {
    dialog.show();
    QTest::keyClicks(dialog.ScanDir(), "/games");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dialog, key);
        EXPECT_TRUE(dialog.isVisible()) << key;
    }
    dialog.close();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.show();
    dialog.BOk()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Process Directory through the window's own dialogs: the dialog is shown modally, the user
// types a directory and confirms, and the scan fills the list.
TEST(DirDialogInWindow, ConfirmedDialogScansTheTypedDirectory) {
    TempDir tmp;
    WriteText(tmp / "game/sub/b.fnt", "");
    WriteText(tmp / "game/a.fnt", "");
    gui::MainWindow window;
    for (int showing = 0; showing < 2; ++showing) {
        const auto answer = testing::WhenModal([&](QWidget* modal) {
            auto* shown = qobject_cast<DirDialog*>(modal);
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->Filter()->currentIndex(), 0); // the type is offered afresh
            if (shown->ScanDir()->text().isEmpty()) {
                QTest::keyClicks(shown->ScanDir(), QString::fromStdString(tmp / "game"));
            }
            shown->Filter()->setCurrentIndex(kTypeIndexFonts);
            emit shown->Filter()->activated(kTypeIndexFonts);
            shown->BOk()->click();
        });
        window.Tool(gui::tbProcessDir)->trigger();
        EXPECT_EQ(window.Form().State().inputList,
                  (TextLines{tmp / "game/sub/b.fnt", tmp / "game/a.fnt"}));
    }
    EXPECT_EQ(window.Form().State().InputKind, kKindFonts);
    EXPECT_TRUE(window.Form().State().ListFromScan);
}

} // namespace
} // namespace eitool
