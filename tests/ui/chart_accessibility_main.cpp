// The window with a file loaded and the chart "Getriebe" open, for
// chart_accessibility_test.py: prints the picture's description, then the table's rows
// as the chart library gives them (cells tab-separated, one row a line), then a line
// "-", and keeps the windows open until killed.
#include <QApplication>
#include <cstdio>

#include "ChartWindow.h"
#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quorvel::frm_Quorvel window;
    window.OpenPath(std::string(argv[1]));
    window.show();
    const quorvel::GearChart& chart = window.OpenChart()->chart();
    std::printf("%s\n", chart.description.c_str());
    for (const quorvel::GearRow& row : chart.rows) {
        for (std::size_t c = 0; c < row.cells.size(); ++c)
            std::printf("%s%s", c ? "\t" : "", row.cells[c].c_str());
        std::printf("\n");
    }
    std::printf("-\n");
    std::fflush(stdout);
    return QApplication::exec();
}
