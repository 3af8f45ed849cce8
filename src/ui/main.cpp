#include <QApplication>

#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvel");
    // Lets the desktop match the window to quorvel.desktop and its icon.
    QGuiApplication::setDesktopFileName("quorvel");

    quorvel::frm_Quorvel window;
    window.show();
    // The editor has no command line. scripts/screenshot alone sets QUORVEL_OPEN, to
    // show the window with a file loaded.
    if (const QByteArray path = qgetenv("QUORVEL_OPEN"); !path.isEmpty())
        window.OpenPath(QString::fromLocal8Bit(path).toStdString());
    return QApplication::exec();
}
