#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <functional>

#include "DesktopFit.h"
#include "ErrorText.h"
#include "GearChart.h"
#include "Mod_FileDialog.h"
#include "QtPlatform.h"
#include "frm_Quorvel.h"
#include "test_common.h"

namespace quorvel {
namespace {

struct Window {
    RecordingSink* sink = new RecordingSink;
    frm_Quorvel window{WindowServices{std::make_unique<QtNumberFormat>(QLocale::c()),
                                      std::unique_ptr<MessageSink>(sink), nullptr, nullptr}};
    template <typename T = QWidget>
    T* Control(const char* name) {
        return window.findChild<T*>(name);
    }
};

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

TEST(Readable, PathTextAndOptionMarksUnderLightAndDarkPalettes) {
    const QPalette desktop = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(42, 42, 42));  // button, window
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    for (const QPalette& palette : {QApplication::style()->standardPalette(), dark}) {
        QApplication::setPalette(palette);
        Window w;
        w.window.OpenPath(QUORVEL_EXAMPLES "/waggon.txt");
        w.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
        const QColor grey(192, 192, 192);
        auto* path = w.Control<QLineEdit>("tx_Datei");
        EXPECT_EQ(path->palette().color(QPalette::Base), grey);
        EXPECT_GE(StrongestContrast(path, grey, 3), 4.5);  // WCAG for text, inside the border

        // A wagon is loaded: "Dampflok" is disabled, "Waggon" enabled, neither selected.
        const QColor background = palette.color(QPalette::Window);
        const double enabled = StrongestContrast(w.Control("Opt_waggon"), background);
        const double disabled = StrongestContrast(w.Control("Opt_DLok"), background);
        EXPECT_GE(enabled, 3.0);  // WCAG for the parts of a control
        EXPECT_LE(disabled, 2.0);
        // WCAG for focus indicators.
        for (const char* name : {"bu_open", "tx_Masse", "Opt_Andere"})
            EXPECT_GE(FocusContrast(w.Control(name), background), 3.0) << name;
        // A palette changed while the window is open is followed.
        QApplication::setPalette(palette == dark ? desktop : dark);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.Control("Opt_DLok")->palette().color(QPalette::Disabled, QPalette::Base),
                  QApplication::palette().color(QPalette::Window));
    }
    QApplication::setPalette(desktop);
}

}  // namespace
}  // namespace quorvel
