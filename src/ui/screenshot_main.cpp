// The editor's window with a file already loaded, for scripts/screenshot alone. The
// editor itself has no command line; this program is neither the editor nor installed.
// Usage: quorvel_screenshot [--points N] [--dark] [--chart] FILE
//   --points N  the desktop font at N points, as a user may set it for legibility;
//   --dark      a dark desktop palette;
//   --chart     the window "Getriebe" opened beside it, at the top left corner.
#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QString>

#include "ChartWindow.h"
#include "Form.h"
#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() >= 2 && arguments[0] == QStringLiteral("--points")) {
        QFont font = QApplication::font();
        font.setPointSizeF(arguments[1].toDouble());
        QApplication::setFont(font);
        arguments = arguments.mid(2);
    }
    if (!arguments.isEmpty() && arguments[0] == QStringLiteral("--dark")) {
        QPalette dark(QColor(53, 53, 53), QColor(42, 42, 42));  // button, window
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
        QApplication::setPalette(dark);
        arguments = arguments.mid(1);
    }
    const bool chart = !arguments.isEmpty() && arguments[0] == QStringLiteral("--chart");
    if (chart) arguments = arguments.mid(1);
    quorvel::frm_Quorvel window;
    window.show();
    // The path as the editor shows a file named at its start: absolute and clean.
    if (!arguments.isEmpty())
        window.OpenPath(quorvel::Form::AbsolutePath(arguments[0].toStdString(),
                                                    QDir::currentPath().toStdString()));
    if (chart) {
        quorvel::ChartWindow* shown = window.OpenChart();
        shown->resize(640, 560);
        shown->move(0, 0);
    }
    return QApplication::exec();
}
