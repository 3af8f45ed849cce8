#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "frm_Quorvel.h"

// What opening the editor costs beside the least a window costs: creating the window
// with its 46 controls, fitting its font and loading its state, then showing it with
// its first paint, against a bare window with one button.

static void EditorWindow(benchmark::State& state) {
    for (auto _ : state) {
        quorvel::frm_Quorvel window;
        window.show();
        QApplication::processEvents();
    }
}
BENCHMARK(EditorWindow)->Unit(benchmark::kMicrosecond);

static void BareWindowWithButton(benchmark::State& state) {
    for (auto _ : state) {
        QWidget window;
        window.resize(559, 235);
        QPushButton button(&window);
        button.setGeometry(8, 0, 25, 25);
        window.show();
        QApplication::processEvents();
    }
}
BENCHMARK(BareWindowWithButton)->Unit(benchmark::kMicrosecond);

// The floor for any window with the editor's 46 controls: as many widgets of the same
// kinds, without texts, tooltips, pictures or state.
static void BareWindowWith46Controls(benchmark::State& state) {
    for (auto _ : state) {
        QWidget window;
        window.resize(559, 235);
        for (int i = 0; i < 2; ++i) new QPushButton(&window);
        for (int i = 0; i < 17; ++i) new QLineEdit(&window);
        for (int i = 0; i < 3; ++i) new QGroupBox(&window);
        for (int i = 0; i < 18; ++i) new QLabel(&window);
        for (int i = 0; i < 6; ++i) new QRadioButton(&window);
        int place = 0;
        for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            child->setGeometry(8 + 60 * (place % 9), 26 * (place / 9), 57, 19);
            ++place;
        }
        window.show();
        QApplication::processEvents();
    }
}
BENCHMARK(BareWindowWith46Controls)->Unit(benchmark::kMicrosecond);

int main(int argc, char* argv[]) {
    // Measured without a display, so that the figure does not depend on one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
