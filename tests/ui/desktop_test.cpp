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
#include <cmath>

#include "DesktopFit.h"
#include "ErrorText.h"
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

std::string Write(const TempFolder& dir, const char* name, const std::string& bytes) {
    std::ofstream(dir.path / name, std::ios::binary) << bytes;
    return (dir.path / name).string();
}

std::string Example(const char* name) {
    return Bytes(std::filesystem::path(QUORVEL_EXAMPLES) / name);
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
        {ENOENT, "Datei oder Ordner nicht gefunden"},
        {ENOSPC, "Kein freier Platz auf dem Datentr\u00E4ger"},
        {EPIPE, "system"}};
    for (const auto& [code, text] : codes) EXPECT_EQ(ErrorText(code, "system"), text);
}

double Luminance(QColor c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double Contrast(QColor a, QColor b) {
    const double x = Luminance(a), y = Luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}
// The strongest contrast of any pixel of the control, as its frame shows it, against the
// colour given; inset leaves out a border.
double StrongestContrast(QWidget* control, QColor against, int inset = 0) {
    const QRect area = control->geometry().adjusted(inset, inset, -inset, -inset);
    const QImage image = control->parentWidget()->grab(area).toImage();
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, Contrast(image.pixelColor(x, y), against));
    return best;
}

// The strongest contrast against the colour given of what the keyboard focus adds to the
// control: on its border, where a field's text cursor does not reach.
double FocusContrast(QWidget* control, QColor against) {
    const QRect area = control->geometry().adjusted(-2, -2, 2, 2);
    control->window()->setFocus();
    const QImage before = control->parentWidget()->grab(area).toImage();
    control->setFocus(Qt::TabFocusReason);
    const QImage after = control->parentWidget()->grab(area).toImage();
    const int border = qobject_cast<QLineEdit*>(control) ? 4 : area.width();
    double best = 1;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x) {
            const bool edge =
                std::min({x, y, after.width() - 1 - x, after.height() - 1 - y}) < border;
            if (edge && before.pixel(x, y) != after.pixel(x, y))
                best = std::max(best, Contrast(after.pixelColor(x, y), against));
        }
    return best;
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

// Files the editor itself reads and writes unchanged say nothing; a save that would
// change more than the fields says so once, and so do ratios beyond the sixth.
TEST(LoadNotice, ToldOnceForWhatASaveWouldChange) {
    std::string seven = "Motor{\r\n";
    for (int i = 1; i <= 7; ++i) seven += "Gang{ Uebersetzung ( " + std::to_string(i) + " ) }\r\n";
    seven += "}\r\n";
    std::string binary(4000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 7919) % 256);
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {Example("elok.txt"), ""}, {Example("dampflok.txt"), ""}, {Example("stadtbus.txt"), ""},
        {Example("waggon.txt"), ""},
        {"Masse(1)Motor{Gang{}}}", ""},  // a closing too many comes back as it was
        {binary, "Bin\u00E4rdaten"}, {"Name ( Lok (alt) ) \r\nMasse ( 1 ) ", "Klammer"},
        {"Name ( B\xE4r ) ", "ASCII"}, {"Masse ( 1 ) \x1A", "Steuerzeichen"},
        {"{ Masse ( 1 ) }", "nicht ausgeglichen"},
        {"Motor{ Leistung ( 1 ) Motor}", "Ende einer Gruppe"},
        {"Masse ( 1 ) kg", "letzten vollst\u00E4ndigen"},
        {seven, "7 \u00DCbersetzungen"}};
    // clang-format on
    TempFolder dir;
    for (const auto& [bytes, told] : cases) {
        SCOPED_TRACE(bytes.substr(0, 40));
        Window w;
        w.window.OpenPath(Write(dir, "f.txt", bytes));
        if (*told == '\0') {
            EXPECT_TRUE(w.sink->shown.empty());
            continue;
        }
        ASSERT_EQ(w.sink->shown.size(), 1u);
        EXPECT_EQ(w.sink->shown[0].rfind("Quorvel|64|", 0), 0u);
        EXPECT_NE(w.sink->shown[0].find(told), std::string::npos) << w.sink->shown[0];
        EXPECT_EQ(w.sink->shown[0].find("_Orig") != std::string::npos, bytes != seven);
    }
}

// A file from every power band of the presets, saved by the editor and loaded again.
TEST(LoadNotice, NothingForFilesTheEditorWrote) {
    const std::pair<const char*, std::vector<int>> presets[] = {
        {"Opt_DLok", {1000, 1800, 4000, 4001}},
        {"Opt_Elok", {400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000, 3000, 4000, 4001}},
        {"Opt_Stadt", {3600}}};
    TempFolder dir;
    for (const auto& [option, powers] : presets) {
        for (const int power : powers) {
            SCOPED_TRACE(std::string(option) + " " + std::to_string(power));
            std::string bytes = Example("elok.txt");
            bytes.replace(bytes.find("( 3600 )"), 8, "( " + std::to_string(power) + " )");
            const std::string path = Write(dir, "lok.txt", bytes);
            std::filesystem::remove(dir.path / "lok.txt_Orig");
            Window w;
            w.window.OpenPath(path);
            QTest::mouseClick(w.Control(option), Qt::LeftButton);
            QTest::mouseClick(w.Control("bu_save"), Qt::LeftButton);
            w.window.OpenPath(path);
            EXPECT_TRUE(w.sink->shown.empty()) << w.sink->shown.front();
            EXPECT_EQ(w.Control<QLineEdit>("tx_Leistung")->text().toInt(), power);
        }
    }
}

}  // namespace
}  // namespace quorvel
