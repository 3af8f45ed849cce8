#include "ChartWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "Texts.h"

namespace quorvel {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor Colour(const ChartColours& colours, ChartRole role) {
    const Rgb c = ColourOf(colours, role);
    return {c.r, c.g, c.b};
}

Rgb FromQColor(const QColor& c) {
    return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
            static_cast<std::uint8_t>(c.blue())};
}

QPen Pen(const ChartColours& colours, ChartRole role, double width, bool dashed) {
    QPen pen(Colour(colours, role), width);
    if (dashed) pen.setStyle(Qt::DashLine);
    return pen;
}

}  // namespace

namespace {

// Screen readers take the window for a frame, as any window with a title bar, and the
// picture for an image: Qt gives both, as plain widgets, the role of a filler.
QAccessibleInterface* ChartAccessible(const QString&, QObject* object) {
    if (!object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (qobject_cast<ChartWindow*>(object) != nullptr)
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (object->objectName() == Text(texts::kChartPictureName))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    return nullptr;
}

}  // namespace

double FontMeasure::Width(std::string_view text) const {
    return metrics.horizontalAdvance(Text(text));
}

void PaintDisplayList(QPainter& painter, const DisplayList& list, const ChartColours& colours) {
    painter.setRenderHint(QPainter::Antialiasing);
    for (const ChartRect& r : list.rects)
        painter.fillRect(QRectF(r.x, r.y, r.width, r.height), Colour(colours, r.role));
    for (const ChartLine& l : list.lines) {
        painter.setPen(Pen(colours, l.role, l.width, l.dashed));
        painter.drawLine(QPointF(l.from.x, l.from.y), QPointF(l.to.x, l.to.y));
    }
    for (const ChartPolyline& p : list.polylines) {
        painter.setPen(Pen(colours, p.role, p.width, p.dashed));
        QPolygonF points;
        for (const ChartPoint& at : p.points) points << QPointF(at.x, at.y);
        painter.drawPolyline(points);
    }
    const QFontMetricsF metrics(painter.font());
    for (const ChartText& t : list.texts) {
        const QString text = Text(t.text);
        const double w = metrics.horizontalAdvance(text), h = metrics.height();
        const int column = static_cast<int>(t.anchor) % 3, row = static_cast<int>(t.anchor) / 3;
        painter.setPen(Colour(colours, t.role));
        painter.drawText(QRectF(t.at.x - w * column / 2, t.at.y - h * row / 2, w, h),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

// The diagram: laid out for its own size and font at every paint.
class ChartWindow::View : public QWidget {
  public:
    // Made without a parent and named before it is placed in the window: a screen reader
    // asks for its role as soon as it joins the window, and the role follows the name.
    explicit View(ChartWindow& window) : window_(window) {
        static const bool accessible = (QAccessible::installFactory(ChartAccessible), true);
        Q_UNUSED(accessible);
        setMinimumSize(320, 200);
        setObjectName(Text(texts::kChartPictureName));
        setAccessibleName(Text(texts::kChartPictureName));
    }
    DisplayList Picture() const {
        return DrawGearChart(window_.chart_, width(), height(), FontMeasure(font()));
    }
    const ChartColours& Colours() const {
        return ChartColoursFor(FromQColor(palette().color(QPalette::Window)));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PaintDisplayList(painter, Picture(), Colours());
    }

  private:
    ChartWindow& window_;
};

ChartWindow::ChartWindow(QWidget* owner, SaveTextFile save)
    : QWidget(owner, Qt::Window),
      view_(new View(*this)),
      table_(new QTableWidget(this)),
      save_(save ? std::move(save) : SaveTextFile(SaveChartFile)) {
    setObjectName(QStringLiteral("Getriebe"));
    setWindowTitle(Text(texts::kChartTitle));
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (owner != nullptr) {
        setWindowIcon(owner->windowIcon());
        owner->installEventFilter(this);
    }

    table_->setObjectName(QStringLiteral("Gangtabelle"));
    table_->setAccessibleName(Text(texts::kGearTableName));
    table_->setColumnCount(static_cast<int>(kGearColumns.size()));
    QStringList headers;
    for (std::string_view column : kGearColumns) headers << Text(column);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->installEventFilter(this);

    auto* saveButton = new QPushButton(Text(texts::kSaveSvgButton), this);
    saveButton->setAutoDefault(false);
    connect(saveButton, &QPushButton::clicked, this, &ChartWindow::SaveSvgAs);
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &ChartWindow::CopyTable);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 3);
    layout->addWidget(table_, 2);
    layout->addLayout(buttons);
    const QFontMetrics metrics(font());
    resize(metrics.averageCharWidth() * 90, metrics.height() * 34);
}

void ChartWindow::ShowState(const EditorState& state) {
    chart_ = ComputeGearChart(state);
    const QString description = Text(chart_.description);
    view_->setAccessibleDescription(description);
    table_->setAccessibleDescription(description);
    table_->setRowCount(static_cast<int>(chart_.rows.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const GearRow& row = chart_.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < table_->columnCount(); ++c) {
            // Items are kept and only their texts change: a screen reader holds on to them.
            QTableWidgetItem* item = table_->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                              : Qt::AlignRight | Qt::AlignVCenter);
                table_->setItem(r, c, item);
            }
            item->setText(Text(row.cells[static_cast<std::size_t>(c)]));
        }
    }
    table_->resizeColumnsToContents();
    view_->update();
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(view_, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

DisplayList ChartWindow::Picture() const {
    return view_->Picture();
}

void ChartWindow::CopyTable() const {
    QApplication::clipboard()->setText(Text(GearTableText(chart_)));
}

std::string ChartWindow::SaveSvg(const std::string& path) const {
    return save_(path, ChartSvg(Picture(), view_->Colours()));
}

void ChartWindow::SaveSvgAs() {
    const QString path = QFileDialog::getSaveFileName(
        this, Text(texts::kSaveSvgTitle), Text(texts::kSvgDefaultName), Text(texts::kSvgFilter));
    if (path.isEmpty()) return;
    const std::string error = SaveSvg(path.toStdString());
    if (!error.empty())
        QMessageBox::warning(this, windowTitle(),
                             Text(texts::SvgNotSaved(path.toStdString(), error)));
}

bool ChartWindow::eventFilter(QObject* watched, QEvent* event) {
    // The main window closes: so does this one.
    if (watched == parentWidget() && event->type() == QEvent::Close) close();
    // The table would copy only its current cell.
    if (watched == table_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (event->type() == QEvent::KeyPress) CopyTable();
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quorvel
