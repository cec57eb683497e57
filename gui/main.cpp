// eitool-gui: the window of the Extract\Insert Tool.
//
//   eitool-gui [FILE...]    starts with the files in the input list, as if chosen in the open
//                           dialog (all existing, all of one type)
#include "gui/MainWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("eitool-gui"));
    QApplication::setApplicationDisplayName(QStringLiteral("Extract\\Insert Tool"));
    QGuiApplication::setDesktopFileName(QStringLiteral("eitool-gui"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/eitool-gui.png")));

    eitool::gui::MainWindow window;
    const QStringList files = QApplication::arguments().mid(1);
    // As in the open dialog, every file must exist.
    bool allThere = true;
    for (const QString& file : files) {
        if (!QFileInfo(file).isFile()) {
            std::fprintf(stderr, "eitool-gui: %s: no such file\n", qPrintable(file));
            allThere = false;
        }
    }
    if (!allThere) {
        std::fputs("eitool-gui: none of the files was added\n", stderr);
    } else if (!files.isEmpty() && !window.AddFiles(files)) {
        std::fputs("eitool-gui: the files named are not all of one known type "
                   "(*.tre, *.bmpx/*.tgax, *.fnt, *.lst, *.log); none was added\n",
                   stderr);
    }
    window.show();
    return QApplication::exec();
}
