#include "gui/MainWindow.h"

#include "GuiSupport.h"
#include "app/ToolButtons.h"
#include "common/FileSystem.h"
#include "support/RecordingSurface.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace eitool {
namespace {

using gui::MainWindow;
using testing::ReadText;
using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WriteSamplePack;
using testing::WriteText;

// The enabled controls as the window shows them, in its order.
std::string ShownEnabled(const MainWindow& window) {
    const char* names[] = {"BAddLog",   "ProcessDir", "BSaveList", "BRemLog",
                           "BClearAll", "BProcess",   "BExit"};
    std::string shown;
    const auto add = [&](const char* name, bool enabled) {
        if (enabled) {
            shown += (shown.empty() ? "" : " ") + std::string(name);
        }
    };
    for (int i = 0; i <= gui::tbExit; ++i) {
        add(names[i], window.Tool(static_cast<gui::ToolButton>(i))->isEnabled());
    }
    add("Stop", window.Stop()->isEnabled());
    add("SaveLog", window.SaveLog()->isEnabled());
    return shown;
}

std::string Text(const QLabel* label) {
    return label->text().toStdString();
}

std::vector<int> SelectedRows(const MainWindow& window) {
    std::vector<int> rows;
    for (const QModelIndex& index : window.LogList()->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Shortcuts go to the active window only.
void ShowActive(MainWindow& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Runs inside the first dispatch of events of the run that the next click starts. It is dropped
// with context (the test's window), so a run that never dispatched cannot call it later.
void DuringRun(const QObject* context, std::function<void()> act) {
    QTimer::singleShot(0, context, std::move(act));
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : window(&dialogs) { dialogs.picker = tmp / "out"; }
    void SetUp() override { saved = CurrentDirectory(); }
    void TearDown() override { SetCurrentDirectory(saved); }

    void Click(gui::ToolButton button) { window.Tool(button)->trigger(); }
    void Add(int type, const TextLines& files) {
        dialogs.open = OpenAnswer{files, type};
        Click(gui::tbAddLog);
    }
    void SelectRows(std::initializer_list<int> rows) {
        QItemSelection selection;
        for (int row : rows) {
            const QModelIndex index = window.LogList()->model()->index(row, 0);
            selection.select(index, index);
        }
        window.LogList()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    // Sends a drag of paths onto the list and drops it; whether the drag was accepted.
    bool Drop(const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls << QUrl::fromLocalFile(path);
        }
        data.setUrls(urls);
        QWidget* viewport = window.LogList()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }

    TempDir tmp;
    ScriptedDialogs dialogs;
    MainWindow window;
    std::string saved;
};

TEST_F(WindowTest, CaptionsAndLayoutAreTheDesignedOnes) {
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle().toStdString(), "Extract\\Insert Tool");
    EXPECT_EQ(window.size(), QSize(688, 464));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));

    const char* order[] = {"BAddLog",   "ProcessDir", "BSaveList", "BRemLog",
                           "BClearAll", "BProcess",   "BExit"};
    const QList<QAction*> actions = window.ToolBar()->actions();
    ASSERT_EQ(actions.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(actions[i]->objectName().toStdString(), order[i]);
        EXPECT_FALSE(actions[i]->icon().isNull()) << order[i];
        EXPECT_NE(actions[i]->icon().pixmap(16, QIcon::Normal).toImage(),
                  actions[i]->icon().pixmap(16, QIcon::Disabled).toImage())
            << order[i];
        const QWidget* button = window.ToolBar()->widgetForAction(actions[i]);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->accessibleName().toStdString(), kToolButtons[i].hint) << order[i];
        EXPECT_TRUE(actions[i]->toolTip().startsWith(QString::fromLatin1(kToolButtons[i].hint)));
        if (i > 0) {
            const QWidget* before = window.ToolBar()->widgetForAction(actions[i - 1]);
            EXPECT_EQ(button->x() - before->x(), 23) << order[i];
        }
    }
    EXPECT_EQ(actions[1]->toolTip().toStdString(), "Process Directory (Ctrl+D)");
    EXPECT_EQ(window.ToolBar()->height(), 26);
    EXPECT_EQ(window.LogList()->height(), 189);
    EXPECT_EQ(window.LogList()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_FALSE(window.Results()->isReadOnly());
    EXPECT_EQ(window.Results()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window.GroupBox()->title().toStdString(), " Process ");
    EXPECT_EQ(window.GroupBox()->height(), 66);
    EXPECT_EQ(Text(window.CurrentMessage()), "");
    EXPECT_EQ(Text(window.Extracted()), "Extracted: 0");
    EXPECT_EQ(window.SaveLog()->text().toStdString(), "Save results");
    EXPECT_EQ(window.SaveLog()->size(), QSize(105, 19));
    EXPECT_EQ(window.Stop()->text().toStdString(), "Stop");
    EXPECT_EQ(window.Stop()->size(), QSize(71, 19));
    for (const QProgressBar* bar : {window.Progress(), window.Total()}) {
        EXPECT_EQ(bar->size(), QSize(671, 13));
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
    }
}

TEST_F(WindowTest, ExitClosesTheWindowAndEndsTheProgram) {
    window.show();
    QTimer::singleShot(0, [&] { window.Tool(gui::tbExit)->trigger(); });
    QTimer::singleShot(5000, [] { QApplication::exit(1); }); // should the window stay
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(window.isVisible());
}

// Each moment of the window's life and what the widgets show enabled after it.
TEST_F(WindowTest, EnabledStatesFollowTheFormAtEveryMoment) {
    WriteText(tmp / "a.tre", std::string(4, '\0'));       // a pack without members
    std::filesystem::create_directories(tmp / "dir.tre"); // a results line when run
    WriteText(tmp / "game/b.tre", "");
    const std::string start = "BAddLog ProcessDir BExit";
    const std::string list = "BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit";
    std::string during;
    const auto run = [&] {
        DuringRun(&window, [&] { during = ShownEnabled(window); });
        Click(gui::tbProcess);
    };
    struct Moment {
        const char* name;
        std::function<void()> act;
        std::string during; // while a file is handled; "" where no run is
        std::string after;
    };
    const Moment moments[] = {
        {"start", [] {}, "", start},
        {"add", [&] { Add(kTypeDataPacks, {tmp / "a.tre"}); }, "", list},
        {"run", run, "BSaveList BExit Stop", list},
        {"run with results",
         [&] {
             Add(kTypeDataPacks, {tmp / "dir.tre"});
             run();
         },
         "BSaveList BExit Stop", list + " SaveLog"},
        {"results saved",
         [&] {
             dialogs.save = tmp / "r.txt";
             window.SaveLog()->click();
         },
         "", list},
        {"remove all",
         [&] {
             SelectRows({0, 1});
             Click(gui::tbRemLog);
         },
         "", start},
        {"scan",
         [&] {
             dialogs.dirForm = DirFormAnswer{tmp / "game", kTypeIndexDataPacks};
             Click(gui::tbProcessDir);
         },
         "", list},
        {"clear", [&] { Click(gui::tbClearAll); }, "", start},
    };
    for (const Moment& moment : moments) {
        during.clear();
        moment.act();
        EXPECT_EQ(during, moment.during) << moment.name;
        EXPECT_EQ(ShownEnabled(window), moment.after) << moment.name;
    }
    EXPECT_EQ(ReadText(tmp / "r.txt"), tmp / "dir.tre is not a regular file!\r\n");
}

TEST_F(WindowTest, SelectionGoesBothWaysAndDeleteRemovesTheSelectedEntries) {
    Add(kTypeDataPacks, {"/x/1.tre", "/x/2.tre", "/x/3.tre", "/x/4.tre", "/x/5.tre"});
    SelectRows({1, 2, 3});
    EXPECT_EQ(window.Form().View().selected, (std::vector<std::size_t>{1, 2, 3}));
    QTest::keyClick(window.LogList(), Qt::Key_Delete);
    EXPECT_EQ(window.Form().State().inputList, (TextLines{"/x/1.tre", "/x/5.tre"}));
    EXPECT_EQ(window.LogList()->model()->rowCount(), 2);
    EXPECT_EQ(window.LogList()->currentIndex().row(), 1);
    EXPECT_TRUE(SelectedRows(window).empty());

    window.Form().SelectEntries({0, 1});
    EXPECT_EQ(SelectedRows(window), (std::vector<int>{0, 1}));
    QTest::keyClick(window.LogList(), Qt::Key_Delete);
    EXPECT_EQ(window.LogList()->model()->rowCount(), 0);
    EXPECT_FALSE(window.LogList()->currentIndex().isValid());
    EXPECT_FALSE(window.Tool(gui::tbRemLog)->isEnabled());
}

// A real run over a sample pack and a directory: the bars move, the counter counts, the results
// pane gets the run's line and the completion box is asked for.
TEST_F(WindowTest, RunShowsItsProgressAndResults) {
    WriteSamplePack(tmp / "pack.tre", 2600);
    std::filesystem::create_directories(tmp / "dir.tre");
    Add(kTypeDataPacks, {tmp / "pack.tre", tmp / "dir.tre"});
    int highest = 0;
    std::set<std::string> counters;
    QObject::connect(window.Progress(), &QProgressBar::valueChanged,
                     [&](int value) { highest = std::max(highest, value); });
    QObject::connect(window.Total(), &QProgressBar::valueChanged, [&](int value) {
        if (value == 50) {
            counters.insert(Text(window.Extracted()));
        }
    });
    DuringRun(&window, [&] { counters.insert(Text(window.CurrentMessage())); });
    Click(gui::tbProcess);

    EXPECT_EQ(highest, 99);
    EXPECT_TRUE(counters.count("Preparing pack.tre...") ||
                counters.count("Processing pack.tre..."));
    EXPECT_TRUE(counters.count("Extracted: 2600 of 2600"));
    EXPECT_EQ(window.Results()->toPlainText().toStdString(),
              tmp / "dir.tre is not a regular file!");
    EXPECT_EQ(Text(window.CurrentMessage()), "");
    // What the run did takes the place of the emptied labels.
    const std::string summary = window.Summary()->toolTip().toStdString();
    EXPECT_EQ(summary, window.Form().View().Summary);
    EXPECT_EQ(summary.rfind("1 file, ", 0), 0u) << summary;
    EXPECT_NE(summary.find(" pieces written, "), std::string::npos) << summary;
    EXPECT_TRUE(window.Summary()->isVisibleTo(&window));
    EXPECT_FALSE(window.CurrentMessage()->isVisibleTo(&window));
    EXPECT_FALSE(window.Extracted()->isVisibleTo(&window));
    EXPECT_EQ(window.Progress()->value(), 0);
    EXPECT_EQ(window.Total()->value(), 0);
    EXPECT_NE(ReadText(tmp / "out/result.log").find("#Source: " + tmp / "pack.tre"),
              std::string::npos);
    EXPECT_EQ(dialogs.shownMessages, (std::vector<std::string>{"Operation complete!"}));
}

// The first press says at once what comes next, and the run's end what it left; Esc is Stop.
TEST_F(WindowTest, StopDuringARunEndsItAfterTheCurrentFile) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteSamplePack(tmp / name, 50);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    ShowActive(window);
    bool stopWasLive = false;
    std::string caption;
    std::string frame;
    DuringRun(&window, [&] {
        stopWasLive = window.Stop()->isEnabled();
        QTest::keyClick(&window, Qt::Key_Escape);
        caption = window.Stop()->text().toStdString();
        frame = window.GroupBox()->title().toStdString();
    });
    Click(gui::tbProcess);
    EXPECT_TRUE(stopWasLive);
    EXPECT_EQ(caption, "Abort");
    EXPECT_EQ(frame, " Process: stopping after the current file, press Abort to abort it ");
    EXPECT_FALSE(window.Stop()->isEnabled());
    EXPECT_EQ(window.Stop()->text().toStdString(), "Stop");
    EXPECT_EQ(window.GroupBox()->title().toStdString(), " Process ");
    EXPECT_EQ(window.Summary()->toolTip().left(39).toStdString(),
              "Stopped: 1 of 3 files handled, 2 left; ");
    const std::string log = ReadText(tmp / "out/result.log");
    EXPECT_NE(log.find("a.tre"), std::string::npos);
    EXPECT_EQ(log.find("b.tre"), std::string::npos);
}

// The keyboard reaches every control: Tab goes round the tool bar, the list, the results pane
// (which passes Tab on) and the frame's buttons, and the usual shortcuts press the buttons.
TEST_F(WindowTest, KeyboardReachesEveryControl) {
    ShowActive(window);
    QWidget* expected[] = {window.ToolBar()->widgetForAction(window.Tool(gui::tbExit)),
                           window.LogList(), window.Results(), window.SaveLog(), window.Stop()};
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next != expected[i + 1] && next->focusPolicy() == Qt::NoFocus) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
    EXPECT_TRUE(window.Results()->tabChangesFocus());
    EXPECT_EQ(window.ToolBar()->widgetForAction(window.Tool(gui::tbAddLog))->focusPolicy(),
              Qt::TabFocus);

    dialogs.open = OpenAnswer{{tmp / "result.log"}, kTypeLogs};
    WriteText(tmp / "result.log", "");
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(window.Form().State().inputList, (TextLines{tmp / "result.log"}));
    dialogs.save = tmp / "list.lst";
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(FileExists(tmp / "list.lst"));
}

// The counter shows its whole text, however long the count.
TEST_F(WindowTest, CounterShowsItsWholeText) {
    window.show();
    window.Form().Surface().SetExtracted("Writing pieces: 1999999 of 1999999");
    QApplication::processEvents();
    const QLabel* counter = window.Extracted();
    EXPECT_GE(counter->width(), counter->fontMetrics().horizontalAdvance(counter->text()));
    EXPECT_LE(counter->geometry().right(), window.SaveLog()->x());
    EXPECT_LE(window.CurrentMessage()->geometry().right(), counter->x());
}

TEST_F(WindowTest, ClosingDuringARunPressesStopAndClosesAfterIt) {
    for (const char* name : {"a.tre", "b.tre"}) {
        WriteSamplePack(tmp / name, 50);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre"});
    window.show();
    bool stillOpen = false;
    DuringRun(&window, [&] {
        window.close();
        stillOpen = window.isVisible();
    });
    Click(gui::tbProcess);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ReadText(tmp / "out/result.log").find("b.tre"), std::string::npos);
}

// A close that lands between two files (once the second of three is done) ends the run before
// the third.
TEST_F(WindowTest, ClosingBetweenTwoFilesEndsTheRunBeforeTheNext) {
    for (const char* name : {"a.tre", "b.tre", "c.tre"}) {
        WriteSamplePack(tmp / name, 50);
    }
    Add(kTypeDataPacks, {tmp / "a.tre", tmp / "b.tre", tmp / "c.tre"});
    window.show();
    QObject::connect(window.Total(), &QProgressBar::valueChanged, &window, [&](int value) {
        if (value == 33) {
            QTimer::singleShot(0, &window, [&] { window.close(); });
        }
    });
    Click(gui::tbProcess);
    EXPECT_FALSE(window.isVisible());
    const std::string log = ReadText(tmp / "out/result.log");
    EXPECT_NE(log.find("b.tre"), std::string::npos);
    EXPECT_EQ(log.find("c.tre"), std::string::npos);
}

// The failure's text is also a line of the results pane, which can be saved, and the frame is
// already reset while its box is shown.
TEST_F(WindowTest, FailureIsShownInAMessageBoxAndTheWindowGoesOn) {
    Add(kTypeDataPacks, {tmp / "missing.tre"});
    std::string text;
    std::string frame;
    const auto answer = testing::WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        frame = Text(window.CurrentMessage()) + "|" + std::to_string(window.Progress()->value()) +
                "|" + std::to_string(window.Total()->value()) + "|" + ShownEnabled(window);
        box->accept();
    });
    Click(gui::tbProcess);
    EXPECT_NE(text.find("missing.tre"), std::string::npos) << text;
    EXPECT_EQ(frame, "|0|0|BAddLog ProcessDir BSaveList BRemLog BClearAll BProcess BExit SaveLog");
    EXPECT_EQ(window.Results()->toPlainText().toStdString(), text);
    EXPECT_FALSE(window.Form().View().running);
    EXPECT_TRUE(window.Tool(gui::tbAddLog)->isEnabled());

    dialogs.save = tmp / "r.txt";
    window.SaveLog()->click();
    EXPECT_EQ(ReadText(tmp / "r.txt"), text + "\r\n");
}

TEST_F(WindowTest, DroppedAndNamedFilesAreAddedAsIfOpened) {
    EXPECT_TRUE(Drop({QString::fromStdString(tmp / "a.tre")}));
    EXPECT_TRUE(Drop({QString::fromStdString(tmp / "b.tre")}));
    EXPECT_FALSE(
        Drop({QString::fromStdString(tmp / "c.fnt"), QString::fromStdString(tmp / "d.tre")}));
    EXPECT_FALSE(Drop({QString::fromStdString(tmp / "notes.txt")}));
    EXPECT_EQ(window.LogList()->model()->rowCount(), 2);
    EXPECT_TRUE(window.Tool(gui::tbProcess)->isEnabled());

    // Names from the command line are taken from the current directory.
    SetCurrentDirectory(tmp.Path());
    EXPECT_TRUE(window.AddFiles({QStringLiteral("f.fnt")}));
    EXPECT_EQ(window.Form().State().inputList, (TextLines{tmp / "f.fnt"}));
    EXPECT_EQ(window.Form().State().InputKind, kKindFonts);

    // No drop is taken while a run goes on.
    WriteSamplePack(tmp / "p.tre", 20);
    Add(kTypeDataPacks, {tmp / "p.tre"});
    bool dropped = true;
    DuringRun(&window, [&] { dropped = Drop({QString::fromStdString(tmp / "q.tre")}); });
    Click(gui::tbProcess);
    EXPECT_FALSE(dropped);
    EXPECT_EQ(window.Form().State().inputList, (TextLines{tmp / "p.tre"}));
}

// Files named when the program starts that cannot be added are explained in a message box.
TEST_F(WindowTest, StartFilesThatCannotBeAddedAreExplainedInAMessageBox) {
    WriteText(tmp / "a.tre", "");
    WriteText(tmp / "b.fnt", "");
    const QString pack = QString::fromStdString(tmp / "a.tre");
    const QString font = QString::fromStdString(tmp / "b.fnt");
    const QString missing = QString::fromStdString(tmp / "c.tre");
    const std::pair<QStringList, std::string> cases[] = {
        {{pack, font},
         "The files chosen are not all of one known kind; none was added:\n"
         "a.tre: Data Packs (*.tre)\nb.fnt: Fints (*.fnt)"},
        {{pack, missing}, "No such file: " + (tmp / "c.tre") + "; none of the files was added."},
        {{pack}, ""},
    };
    for (const auto& [files, message] : cases) {
        dialogs.shownMessages.clear();
        window.AddStartFiles(files);
        EXPECT_EQ(dialogs.shownMessages,
                  message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
        EXPECT_EQ(window.LogList()->model()->rowCount(), message.empty() ? 1 : 0);
    }
}

} // namespace
} // namespace eitool
