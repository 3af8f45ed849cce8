#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <map>
#include <vector>

#include "frm_Quorvel.h"

namespace quorvel {
namespace {

struct Control {
    QString name, kind, in, caption;
    QRect twips;
    QString tooltip;
    bool centred;
};

std::vector<Control> ReadTable() {
    QFile file(QUORVEL_CONTROLS_TABLE);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    std::vector<Control> table;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines.mid(3)) {  // two comment lines and the heading
        const QStringList c = line.split(';');
        table.push_back({c[0], c[1], c[2], c[3],
                         QRect(c[4].toInt(), c[5].toInt(), c[6].toInt(), c[7].toInt()), c[9],
                         c[10] == "c"});
    }
    return table;
}

int Pixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

TEST(WindowLayout, EveryControlAsTheTableGivesIt) {
    frm_Quorvel window;
    const auto table = ReadTable();
    ASSERT_EQ(table.size(), 46u);
    const std::map<QString, const char*> classes{{"button", "QPushButton"},
                                                 {"field", "QLineEdit"},
                                                 {"frame", "QGroupBox"},
                                                 {"label", "QLabel"},
                                                 {"option", "QRadioButton"}};
    for (const Control& c : table) {
        SCOPED_TRACE(c.name.toStdString());
        const auto found = window.findChildren<QWidget*>(c.name);
        ASSERT_EQ(found.size(), 1);
        QWidget* w = found.front();
        EXPECT_TRUE(w->inherits(classes.at(c.kind)));
        EXPECT_EQ(w->parentWidget()->objectName(), c.in);
        const QRect px(Pixels(c.twips.x()), Pixels(c.twips.y()), Pixels(c.twips.width()),
                       Pixels(c.twips.height()));
        EXPECT_EQ(w->geometry(), px);
        EXPECT_EQ(w->toolTip(), c.tooltip);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), c.caption);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                      c.centred ? Qt::AlignHCenter : Qt::AlignLeft);
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            EXPECT_EQ(frame->title(), c.caption);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), c.caption);
            EXPECT_TRUE(button->focusPolicy() & Qt::ClickFocus) << "a click must take the focus";
            if (auto* push = qobject_cast<QPushButton*>(w)) {
                EXPECT_FALSE(push->autoDefault() || push->isDefault());
                EXPECT_FALSE(push->icon().isNull());
            }
        }
    }
    // A screen reader names each bare option mark by the label to its right.
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        if (table[i].kind == "option") {
            EXPECT_EQ(window.findChild<QWidget*>(table[i].name)->accessibleName(),
                      table[i + 1].caption);
        }
    }
    EXPECT_EQ(window.windowTitle(), "Eigenschaften Rollmaterial");
    EXPECT_EQ(window.size(), QSize(559, 235));
    EXPECT_FALSE(window.windowIcon().isNull());
    const auto* path = window.findChild<QLineEdit*>("tx_Datei");
    EXPECT_EQ(path->palette().color(QPalette::Base), QColor(192, 192, 192));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(window.tx_ueber(i)->objectName(), QString("tx_ueber_%1").arg(i));
}

// A desktop with a large default font (GNOME gives Qt one) must not cut captions off.
TEST(WindowLayout, CaptionsFitUnderALargeDesktopFont) {
    const QFont desktop = QApplication::font();
    QFont large = desktop;
    large.setPointSizeF(14);
    QApplication::setFont(large);
    frm_Quorvel window;
    QApplication::setFont(desktop);
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
    for (const QGroupBox* frame : window.findChildren<QGroupBox*>())
        EXPECT_LT(QFontMetrics(frame->font()).horizontalAdvance(frame->title()), frame->width());
}

TEST(WindowLayout, RightAfterStart) {
    frm_Quorvel window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::map<QString, bool> enabled{{"Opt_waggon", true}, {"Opt_DLok", false},
                                          {"Opt_Elok", false},  {"Opt_Andere", true},
                                          {"Opt_Zelmo", true},  {"Opt_Stadt", true}};
    for (const auto& [name, on] : enabled) {
        const auto* option = window.findChild<QRadioButton*>(name);
        EXPECT_EQ(option->isEnabled(), on) << name.toStdString();
        EXPECT_EQ(option->isChecked(), name == "Opt_Andere") << name.toStdString();
    }
    EXPECT_TRUE(window.findChild<QLabel*>("lab_DLok")->isEnabled());
    EXPECT_TRUE(window.findChild<QLabel*>("lab_Elok")->isEnabled());
    EXPECT_FALSE(window.findChild<QGroupBox*>("Fra_Motor")->isVisible());
    for (const QLineEdit* field : window.findChildren<QLineEdit*>()) {
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
        EXPECT_EQ(field->isVisible(), field->parentWidget()->objectName() != "Fra_Motor");
    }
    EXPECT_EQ(QApplication::focusWidget(), window.findChild<QWidget*>("bu_open"));
}

// The names of the controls the Tab key visits from bu_open until it comes back.
std::string TabCycle(QWidget& window) {
    window.findChild<QWidget*>("bu_open")->setFocus();
    QStringList names;
    do {
        names << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } while (QApplication::focusWidget()->objectName() != "bu_open" && names.size() < 50);
    return names.join(" ").toStdString();
}

TEST(WindowLayout, TabOrderSkipsHiddenControls) {
    frm_Quorvel window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(TabCycle(window), "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK Opt_Andere");

    window.OpenPath(QUORVEL_EXAMPLES "/stadtbus.txt");  // a motor and four ratios
    EXPECT_EQ(TabCycle(window),
              "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK tx_Leistung tx_U1 tx_U2 "
              "tx_U3 tx_Treib tx_ueber_0 tx_ueber_1 tx_ueber_2 tx_ueber_3 tx_VMaxR tx_VmaxV "
              "Opt_Andere");
}

}  // namespace
}  // namespace quorvel
