// eitool-gui: the window of the Extract\Insert Tool.
//
//   eitool-gui [FILE...]    starts with the files in the input list, as if chosen in the open
//                           dialog (all existing, all of one type)
#include "gui/MainWindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("eitool-gui"));
    // No display name: Qt would add it to the title of every dialog and message box.
    QGuiApplication::setDesktopFileName(QStringLiteral("eitool-gui"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/eitool-gui.png")));

    eitool::gui::MainWindow window;
    window.show();
    window.AddStartFiles(QApplication::arguments().mid(1));
    return QApplication::exec();
}
