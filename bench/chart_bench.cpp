#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "ChartWindow.h"

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

struct FontMeasure : quorvel::TextMeasure {
    explicit FontMeasure(const QFont& font) : metrics(font) {}
    double Width(std::string_view text) const override {
        return metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
    double Height() const override { return metrics.height(); }
    QFontMetricsF metrics;
};

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
    const FontMeasure measure(QApplication::font());
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
