#include <QApplication>

#include "DesktopFit.h"
#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvel");
    // Lets the desktop match the window to quorvel.desktop and its icon.
    QGuiApplication::setDesktopFileName("quorvel");
    quorvel::InstallGermanQtTexts(app);

    quorvel::frm_Quorvel window;
    // A file named on the command line (as when a .txt file is opened with the editor).
    if (QApplication::arguments().size() > 1)
        window.OpenGiven(QApplication::arguments().at(1).toStdString());
    window.show();
    return QApplication::exec();
}
