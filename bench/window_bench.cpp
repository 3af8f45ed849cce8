#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "ChartWindow.h"
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

// The window "Getriebe": opening it (the window with its table, shown and painted once)
// and redrawing it after a reaction (the chart computed from the fields, laid out and
// painted into an image the size of the drawing area). The goal for both is 5 ms.

namespace {

// The electric locomotive of the examples: six gears, radius 62, U3 4500.
quorvel::EditorState Loco() {
    quorvel::EditorState s;
    s.tx_Treib = "62", s.tx_U1 = "1500", s.tx_U2 = "4000", s.tx_U3 = "4500";
    s.tx_ueber = {"-8.0", "-6.0", "-4.0", "9.0", "6.3", "3.6"};
    s.vehicle = {true, 6};
    return s;
}

}  // namespace

static void ChartOpen(benchmark::State& state) {
    const quorvel::EditorState fields = Loco();
    for (auto _ : state) {
        quorvel::ChartWindow window(nullptr);
        window.show();
        window.ShowState(fields);
        QApplication::processEvents();
    }
}
BENCHMARK(ChartOpen)->Unit(benchmark::kMicrosecond);

static void ChartRedrawAfterReaction(benchmark::State& state) {
    quorvel::EditorState fields = Loco();
    QImage image(620, 330, QImage::Format_ARGB32_Premultiplied);
    const quorvel::FontMeasure measure(QApplication::font());
    int turn = 0;
    for (auto _ : state) {
        fields.tx_U3 = ++turn % 2 ? "4500" : "4600";  // what a reaction may change
        const quorvel::GearChart chart = quorvel::ComputeGearChart(fields);
        const quorvel::DisplayList list =
            quorvel::DrawGearChart(chart, image.width(), image.height(), measure);
        QPainter painter(&image);
        quorvel::PaintDisplayList(painter, list, quorvel::LightChartColours());
    }
}
BENCHMARK(ChartRedrawAfterReaction)->Unit(benchmark::kMicrosecond);

int main(int argc, char* argv[]) {
    // Measured without a display, so that the figure does not depend on one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
