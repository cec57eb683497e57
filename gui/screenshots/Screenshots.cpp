// Takes the README's screenshots of the window: the main window with a few files in the list, the
// window during a run and the directory dialog.
//
//   eitool_gui_screenshots WORK_DIR OUT_DIR
//
// WORK_DIR receives sample packs and the run's target; OUT_DIR receives main-window.png,
// running.png, after-run.png and directory-dialog.png. The dialogs are answered in advance (the
// picker names WORK_DIR/out), so nothing waits for a user.
#include "app/AnsweringDialogs.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/Paths.h"
#include "gui/DirDialog.h"
#include "gui/MainWindow.h"
#include "samples/SamplePack.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QListView>
#include <QProgressBar>
#include <QTimer>
#include <cstdio>

namespace {

using namespace eitool;

// The members' file names begin with prefix, so the pieces of two packs do not claim the same
// paths.
void WritePack(const std::string& path, std::uint32_t count, const std::string& prefix) {
    std::vector<samples::PackMember> members = samples::MakeRealisticMembers(count, 11, 64);
    samples::PrefixNames(members, prefix);
    WriteWholeFile(path, samples::BuildPack(members));
}

bool Save(QWidget& widget, const QString& path) {
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "eitool_gui_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: eitool_gui_screenshots WORK_DIR OUT_DIR\n", stderr);
        return 2;
    }
    const std::string work = argv[1];
    // Absolute, since a run makes its target the current directory.
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    CreateDirectories(JoinPath(work, "game/menus"));
    const TextLines packs = {JoinPath(work, "game/system.tre"),
                             JoinPath(work, "game/menus/title.tre"),
                             JoinPath(work, "game/events.tre")};
    WritePack(packs[0], 6000, "");
    WritePack(packs[1], 40, ""); // too few members for a names list: a results line
    WritePack(packs[2], 6000, "ev_");

    AnsweringDialogs dialogs;
    dialogs.picker = JoinPath(work, "out");
    gui::MainWindow window(&dialogs);
    window.show();
    QStringList files;
    for (const std::string& pack : packs) {
        files << QString::fromStdString(pack);
    }
    window.AddFiles(files);
    window.Form().SelectEntries({1});
    window.Form().SetCurrentEntry(1);
    QApplication::processEvents();
    bool saved = Save(window, out + QStringLiteral("/main-window.png"));

    // Halfway through the first file, just after a press on Stop; then the frame at the run's end.
    bool shot = false;
    QObject::connect(window.Progress(), &QProgressBar::valueChanged, [&](int value) {
        if (!shot && value >= 50) {
            shot = true;
            window.Stop()->click();
            // At the next dispatch, once the bar has its value and is drawn again.
            QTimer::singleShot(0, &window, [&] {
                saved = Save(window, out + QStringLiteral("/running.png")) && saved;
            });
        }
    });
    window.Tool(gui::tbProcess)->trigger();
    QApplication::processEvents();
    saved = Save(window, out + QStringLiteral("/after-run.png")) && saved;

    TDirForm& dirForm = window.Form().DirForm();
    dirForm.FormShow();
    dirForm.SetScanDir(JoinPath(work, "game"));
    gui::DirDialog dialog(dirForm, &window);
    dialog.Refresh();
    dialog.show();
    QApplication::processEvents();
    saved = Save(dialog, out + QStringLiteral("/directory-dialog.png")) && saved && shot;
    return saved ? 0 : 1;
}
