// The editor's window with a file already loaded, for scripts/screenshot alone. The
// editor itself has no command line; this program is neither the editor nor installed.
#include <QApplication>

#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quorvel::frm_Quorvel window;
    window.show();
    if (argc > 1) window.OpenPath(QString::fromLocal8Bit(argv[1]).toStdString());
    return QApplication::exec();
}
