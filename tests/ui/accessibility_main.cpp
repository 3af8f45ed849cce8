// The window with a file loaded and the chart "Getriebe" open, for accessibility_test.py.
// Prints what a screen reader must find in the window (role, name and description of the
// window and of every shown control, tab-separated, one a line), a line "-", the chart's
// description and its table's rows as the chart library gives them (cells tab-separated),
// and a line "-"; keeps the windows open until killed.
#include <QApplication>
#include <cstdio>

#include "ChartWindow.h"
#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quorvel::frm_Quorvel window;
    window.OpenPath(std::string(argv[1]));
    window.show();
    // AT-SPI's names of the roles, by control kind.
    const char* roles[] = {"push button", "text", "panel", "label", "radio button"};
    std::printf("frame\t%s\t\n", window.windowTitle().toUtf8().constData());
    for (const quorvel::Control& c : quorvel::Controls()) {
        const auto* w = window.findChild<QWidget*>(QString::fromUtf8(c.name.data(), c.name.size()));
        if (!w->isVisible()) continue;
        const std::string name(quorvel::AccessibleName(c));
        const std::string description(quorvel::AccessibleDescription(c));
        std::printf("%s\t%s\t%s\n", roles[static_cast<int>(c.kind)], name.c_str(),
                    description.c_str());
    }
    const quorvel::GearChart& chart = window.OpenChart()->chart();
    std::printf("-\n%s\n", chart.description.c_str());
    for (const quorvel::GearRow& row : chart.rows) {
        for (std::size_t c = 0; c < row.cells.size(); ++c)
            std::printf("%s%s", c ? "\t" : "", row.cells[c].c_str());
        std::printf("\n");
    }
    std::printf("-\n");
    std::fflush(stdout);
    return QApplication::exec();
}
