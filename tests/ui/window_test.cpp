#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "ChartWindow.h"
#include "DesktopFit.h"
#include "ErrorText.h"
#include "GearChart.h"
#include "Mod_FileDialog.h"
#include "QtPlatform.h"
#include "frm_Quorvel.h"
#include "user_sequences.h"

namespace quorvel {
namespace {

using sequences::Act;

// The shown window with a fake open dialog and message sink, and the C number format.
class Window : public testing::Test, public sequences::Driver {
  protected:
    void SetUp() override {
        window_ = std::make_unique<frm_Quorvel>(
            WindowServices{std::make_unique<QtNumberFormat>(QLocale::c()),
                           std::unique_ptr<MessageSink>(sink_ = new RecordingSink),
                           std::unique_ptr<FileDialog>(dialog_ = new sequences::Dialog), nullptr});
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    QWidget* Control(std::string_view name) {
        return window_->findChild<QWidget*>(QString::fromUtf8(name.data(), name.size()));
    }
    // The names of the controls the Tab key visits from bu_open until it comes back.
    std::string TabCycle() {
        Control("bu_open")->setFocus();
        QStringList names;
        do {
            names << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        } while (QApplication::focusWidget()->objectName() != "bu_open" && names.size() < 50);
        return names.join(" ").toStdString();
    }

    // The shared user sequences, as real Qt events on the shown window.
    void Act(const sequences::Step& step, const std::string& path) override {
        QWidget* w = step.control.empty() ? nullptr : Control(step.control);
        switch (step.act) {
            case Act::Open:
                dialog_->chosen = path;
                QTest::mouseClick(Control("bu_open"), Qt::LeftButton);
                break;
            case Act::Load:
                window_->OpenGiven(path);
                break;
            case Act::Click:
                QTest::mouseClick(w, Qt::LeftButton);
                break;
            case Act::Type:
                QTest::mouseClick(w, Qt::LeftButton);
                static_cast<QLineEdit*>(w)->selectAll();
                QTest::keyClicks(w, QString::fromUtf8(step.text.data(), step.text.size()));
                break;
            case Act::Enter:
                QTest::keyClick(w, Qt::Key_Return);
                break;
            case Act::KeypadEnter:
                QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
                break;
            case Act::StrayEnter:
                QTest::sendKeyEvent(QTest::Release, w, Qt::Key_Return, '\r', {});
                break;
            case Act::SaveKeys:
            case Act::OpenKeys:
                dialog_->chosen = "";
                QTest::keyClick(QApplication::focusWidget(),
                                step.act == Act::SaveKeys ? Qt::Key_S : Qt::Key_O,
                                Qt::ControlModifier);
                break;
            case Act::Drop: {
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
                QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
                QApplication::sendEvent(window_.get(), &enter);
                QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
                if (enter.isAccepted()) QApplication::sendEvent(window_.get(), &drop);
                break;
            }
            case Act::Borrow:
                for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
                    QFocusEvent out(QEvent::FocusOut, reason);
                    QApplication::sendEvent(w, &out);
                }
                break;
        }
    }
    std::string Text(const std::string& name) override {
        return static_cast<QLineEdit*>(Control(name))->text().toStdString();
    }
    bool Shown(const std::string& name) override { return Control(name)->isVisible(); }
    bool Selected(const std::string& name) override {
        return static_cast<QRadioButton*>(Control(name))->isChecked();
    }
    bool Enabled(const std::string& name) override { return Control(name)->isEnabled(); }

    TempFolder dir_;
    sequences::Dialog* dialog_ = nullptr;
    RecordingSink* sink_ = nullptr;
    std::unique_ptr<frm_Quorvel> window_;
};

// At the desktop's font and at a user's large one, which is kept: the layout then grows by one
// factor, so that every caption fits its control with the room the control needs beside it.
TEST_F(Window, EveryControlAsTheTableGivesIt) {
    const char* classes[] = {"QPushButton", "QLineEdit", "QGroupBox", "QLabel", "QRadioButton"};
    const auto text = [](std::string_view t) { return QString::fromUtf8(t.data(), t.size()); };
    const QFont desktop = QApplication::font();
    QFont large = desktop;
    large.setPointSizeF(16);
    QApplication::setFont(large);
    frm_Quorvel grown;
    QApplication::setFont(desktop);
    EXPECT_EQ(grown.font().pointSizeF(), 16);
    EXPECT_GT(grown.width(), 559 * 1.5);
    for (const frm_Quorvel* window : {window_.get(), &grown}) {
        const QFontMetrics metrics(window->font());
        const double scale = window->width() / 559.0;
        EXPECT_EQ(window->minimumSize(), window->size());
        for (const quorvel::Control& c : Controls()) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(scale));
            const auto found = window->findChildren<QWidget*>(text(c.name));
            ASSERT_EQ(found.size(), 1);
            QWidget* w = found.front();
            EXPECT_TRUE(w->inherits(classes[static_cast<int>(c.kind)]));
            EXPECT_EQ(w->parentWidget()->objectName(), text(c.container));
            // One factor for every place and size: the layout's proportions stay.
            const QRect at = w->geometry();
            const QRect want(Pixels(c.left, 96), Pixels(c.top, 96), Pixels(c.width, 96),
                             Pixels(c.height, 96));
            EXPECT_TRUE(window != window_.get() || at == want);
            EXPECT_NEAR(at.x(), c.left / 15.0 * scale, 1);
            EXPECT_NEAR(at.height(), c.height / 15.0 * scale, 1);
            EXPECT_EQ(w->toolTip(), text(c.tooltip));
            const QString caption = text(c.caption);
            if (auto* label = qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(label->text(), caption);
                EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                          c.centred ? Qt::AlignHCenter : Qt::AlignLeft);
                EXPECT_LE(metrics.horizontalAdvance(caption), w->width());
                EXPECT_LE(metrics.height(), w->height());
            } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
                EXPECT_EQ(frame->title(), caption);
                EXPECT_LE(metrics.horizontalAdvance(caption) + 24, w->width());
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                EXPECT_EQ(button->text(), caption);
                EXPECT_TRUE(button->focusPolicy() & Qt::ClickFocus)
                    << "a click must take the focus";
                if (auto* push = qobject_cast<QPushButton*>(w)) {
                    EXPECT_FALSE(push->autoDefault() || push->isDefault());
                    EXPECT_FALSE(push->icon().isNull());
                }
            } else {
                EXPECT_LE(metrics.height() + 4, w->height());
            }
        }
    }
    EXPECT_EQ(window_->windowTitle(), "Eigenschaften Rollmaterial");
    EXPECT_EQ(window_->size(), QSize(559, 235));
    EXPECT_FALSE(window_->windowIcon().isNull());
}

// The window shows before the files named on the command line are opened, so that what
// their load tells shows over it. (Which file opens and which are named: the form's test.)
TEST(WindowStart, TheWindowShowsBeforeTheBoxesOfTheFilesGiven) {
    struct Sink : RecordingSink {
        QWidget* window = nullptr;
        std::vector<bool> exposed;
        void ShowMessage(const std::string& c, const std::string& t, MessageIcon i) override {
            exposed.push_back(window->isVisible() && window->windowHandle()->isExposed());
            RecordingSink::ShowMessage(c, t, i);
        }
    };
    auto* sink = new Sink;
    frm_Quorvel window{
        WindowServices{nullptr, std::unique_ptr<MessageSink>(sink), nullptr, nullptr}};
    sink->window = &window;
    window.ShowAndOpen({"fehlt.txt", "zwei.txt"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink->shown.size() == 2; }));
    EXPECT_EQ(sink->exposed, (std::vector<bool>{true, true}));
}

TEST_F(Window, FirstFocusAndTabOrder) {
    EXPECT_EQ(QApplication::focusWidget(), Control("bu_open"));

    // Tab skips the hidden motor frame, and visits it once a file shows it.
    EXPECT_EQ(TabCycle(), sequences::kTabsBare);
    window_->OpenPath(QUORVEL_EXAMPLES "/stadtbus.txt");  // a motor and four ratios
    EXPECT_EQ(TabCycle(), sequences::kTabsMotor);
    // Enter on the focused open button clicks it.
    Control("bu_open")->setFocus();
    QTest::keyClick(Control("bu_open"), Qt::Key_Return);
    EXPECT_EQ(dialog_->shown, 1);
}

// The chart opens with Strg+G, changes no field, follows a reaction (as a screen reader reads
// the table: as the library gives it) and closes with the main window. How it reads at first:
// accessibility_test.py.
TEST_F(Window, GetriebeFollowsTheFieldsAndClosesWithTheWindow) {
    window_->OpenPath(QUORVEL_EXAMPLES "/elok.txt");
    Control("tx_U3")->setFocus();
    const EditorState before = window_->state();  // Strg+G changes nothing of it
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::ControlModifier);
    auto* chart = window_->findChild<ChartWindow*>();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(chart->windowTitle(), "Getriebe");
    EXPECT_EQ(window_->state().tx_U3, before.tx_U3);
    EXPECT_EQ(window_->state().Edited, before.Edited);
    EXPECT_TRUE(sink_->shown.empty());

    auto accessibleCells = [&] {
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(chart->table());
        std::string cells;
        for (int r = 0; r < table->tableInterface()->rowCount(); ++r)
            for (int c = 0; c < table->tableInterface()->columnCount(); ++c)
                cells +=
                    table->tableInterface()->cellAt(r, c)->text(QAccessible::Name).toStdString() +
                    "|";
        // Without a screen reader Qt tells the cached cells of no change: start afresh.
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(table));
        return cells;
    };
    auto libraryCells = [&] {
        std::string cells;
        for (const GearRow& row : ComputeGearChart(window_->state()).rows)
            for (const std::string& cell : row.cells) cells += cell + "|";
        return cells;
    };

    // A new limit revolution with Enter recalculates the speeds; the chart follows.
    window_->activateWindow();
    QLineEdit* u3 = static_cast<QLineEdit*>(Control("tx_U3"));
    u3->setFocus();
    u3->selectAll();
    QTest::keyClicks(u3, "5000");
    QTest::keyClick(u3, Qt::Key_Return);
    EXPECT_EQ(window_->state().tx_U3, "5000");
    EXPECT_EQ(accessibleCells(), libraryCells());
    ASSERT_FALSE(chart->chart().rows.empty()) << chart->chart().problem;
    EXPECT_EQ(chart->chart().rows.back().cells[4], window_->state().tx_VmaxV);

    // Strg+C copies the table; the SVG replaces a file that was there.
    QTest::keyClick(chart->table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), GearTableText(chart->chart()));
    const std::string svg = (dir_.path / "Getriebe.svg").string();
    std::ofstream(svg) << "old";
    EXPECT_EQ(chart->SaveSvg(svg), "");
    EXPECT_EQ(Bytes(svg), ChartSvg(chart->Picture(), LightChartColours()));
    EXPECT_NE(chart->SaveSvg((dir_.path / "missing" / "x.svg").string()), "");

    window_->close();
    EXPECT_FALSE(chart->isVisible());
}

TEST(GermanTexts, OpenDialogAndSystemErrors) {
    ASSERT_TRUE(InstallGermanQtTexts(*qApp)) << "qtbase_de from qt6-translations-l10n";
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    ConfigureOpenDialog(dialog, std::string("Text-Dateien (*.txt)\0*.txt", 26), std::nullopt);
    QStringList buttons;
    for (const QAbstractButton* b : dialog.findChild<QDialogButtonBox*>()->buttons())
        buttons << b->text();
    buttons.sort();
    EXPECT_EQ(buttons.join('|'), "&\u00D6ffnen|Abbrechen");
    EXPECT_TRUE(dialog.findChild<QLabel*>("lookInLabel")->text().startsWith("Suchen in"));

    // The codes a read or save meets are German; any other keeps the system's text.
    const std::pair<int, const char*> codes[] = {
        {EACCES, "Zugriff verweigert"},
        {ENOSPC, "Kein freier Platz auf dem Datentr\u00E4ger"},
        {EPIPE, "system"}};
    for (const auto& [code, text] : codes) EXPECT_EQ(ErrorText(code, "system"), text);
}

// The strongest contrast against the colour given of the image's pixels that count.
double Strongest(const QImage& image, QColor against, const std::function<bool(int, int)>& counts) {
    const auto rgb = [](QColor c) {
        return Rgb{std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())};
    };
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (counts(x, y))
                best = std::max(best, ContrastRatio(rgb(image.pixelColor(x, y)), rgb(against)));
    return best;
}
// Of any pixel of the control, as its frame shows it; inset leaves out a border.
double StrongestContrast(QWidget* control, QColor against, int inset = 0) {
    const QRect area = control->geometry().adjusted(inset, inset, -inset, -inset);
    return Strongest(control->parentWidget()->grab(area).toImage(), against,
                     [](int, int) { return true; });
}
// Of what the keyboard focus adds to the control: on its border, where a field's text cursor
// does not reach.
double FocusContrast(QWidget* control, QColor against) {
    const QRect area = control->geometry().adjusted(-2, -2, 2, 2);
    control->window()->setFocus();
    const QImage before = control->parentWidget()->grab(area).toImage();
    control->setFocus(Qt::TabFocusReason);
    const QImage after = control->parentWidget()->grab(area).toImage();
    const int border = qobject_cast<QLineEdit*>(control) ? 4 : area.width();
    return Strongest(after, against, [&](int x, int y) {
        return std::min({x, y, after.width() - 1 - x, after.height() - 1 - y}) < border &&
               before.pixel(x, y) != after.pixel(x, y);
    });
}

TEST_F(Window, ReadablePathTextAndOptionMarksUnderLightAndDarkPalettes) {
    const QPalette desktop = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(42, 42, 42));  // button, window
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    for (const QPalette& palette : {QApplication::style()->standardPalette(), dark}) {
        QApplication::setPalette(palette);
        SetUp();  // a window made under this palette
        window_->OpenPath(QUORVEL_EXAMPLES "/waggon.txt");
        const QColor grey(192, 192, 192);
        QWidget* path = Control("tx_Datei");
        EXPECT_EQ(path->palette().color(QPalette::Base), grey);
        EXPECT_GE(StrongestContrast(path, grey, 3), 4.5);  // WCAG for text, inside the border

        // A wagon is loaded: "Dampflok" is disabled, "Waggon" enabled, neither selected.
        const QColor background = palette.color(QPalette::Window);
        const double enabled = StrongestContrast(Control("Opt_waggon"), background);
        const double disabled = StrongestContrast(Control("Opt_DLok"), background);
        EXPECT_GE(enabled, 3.0);  // WCAG for the parts of a control
        EXPECT_LE(disabled, 2.0);
        // WCAG for focus indicators.
        for (const char* name : {"bu_open", "tx_Masse", "Opt_Andere"})
            EXPECT_GE(FocusContrast(Control(name), background), 3.0) << name;
        // A palette changed while the window is open is followed.
        QApplication::setPalette(palette == dark ? desktop : dark);
        QCoreApplication::processEvents();
        EXPECT_EQ(Control("Opt_DLok")->palette().color(QPalette::Disabled, QPalette::Base),
                  QApplication::palette().color(QPalette::Window));
    }
    QApplication::setPalette(desktop);
}

TEST_F(Window, UserSequences) {
    sequences::CheckAll(dir_.path, [&] { return SetUp(), std::tuple(this, sink_, dialog_); });
}

}  // namespace
}  // namespace quorvel

// The window needs an application object; listing the tests for CTest needs no display.
int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
