#pragma once

#include <QFontMetricsF>
#include <QWidget>
#include <string>

#include "GearChart.h"

class QPainter;
class QTableWidget;

namespace quorvel {

// The chart's text measured in a Qt font, for laying the chart out.
struct FontMeasure : TextMeasure {
    explicit FontMeasure(const QFont& font) : metrics(font) {}
    double Width(std::string_view text) const override;
    double Height() const override { return metrics.height(); }
    QFontMetricsF metrics;
};

// Paints a display list as it comes, with the colours for its roles.
void PaintDisplayList(QPainter& painter, const DisplayList& list, const ChartColours& colours);

// The window "Getriebe": the gear chart and its table for the main window's present
// fields. It only shows what the chart library computes; it never writes a field. Owned
// by the main window and closed with it. Strg+C copies the table as tab-separated text,
// "Als SVG speichern…" writes the picture.
class ChartWindow : public QWidget {
    Q_OBJECT

  public:
    // save: how the SVG reaches the disk; left empty, a temporary file beside the target
    // that then replaces it.
    explicit ChartWindow(QWidget* owner, SaveTextFile save = {});

    // Recomputes the chart from the fields and redraws it.
    void ShowState(const EditorState& state);
    const GearChart& chart() const { return chart_; }
    QTableWidget* table() const { return table_; }
    // The picture as it is shown now.
    DisplayList Picture() const;
    void CopyTable() const;
    // Asks for a file name, then saves; a failure is told in a message box.
    void SaveSvgAs();
    // The empty text when the picture was saved at path, else the German reason.
    std::string SaveSvg(const std::string& path) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class View;
    GearChart chart_;
    View* view_;
    QTableWidget* table_;
    SaveTextFile save_;
};

}  // namespace quorvel
