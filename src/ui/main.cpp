#include <QApplication>
#include <string>
#include <vector>

#include "DesktopFit.h"
#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorvel");
    // Lets the desktop match the window to quorvel.desktop and its icon.
    QGuiApplication::setDesktopFileName("quorvel");
    quorvel::InstallGermanQtTexts(app);

    quorvel::frm_Quorvel window;
    // Files named on the command line (as when .txt files are opened with the editor).
    std::vector<std::string> files;
    for (const QString& argument : QApplication::arguments().mid(1))
        files.push_back(argument.toStdString());
    window.ShowAndOpen(files);
    return QApplication::exec();
}
