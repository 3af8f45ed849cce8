#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "QtPlatform.h"
#include "frm_Quorvel.h"

namespace quorvel {
namespace {

struct FakeDialog : FileDialog {
    std::string chosen;
    int shown = 0;
    std::string ShowOpenDialog(const std::string&, std::uint32_t,
                               const std::optional<std::string>&) override {
        ++shown;
        return chosen;
    }
};

struct FakeSink : MessageSink {
    std::vector<std::string> texts;
    void ShowMessage(const std::string&, const std::string& text, MessageIcon) override {
        texts.push_back(text);
    }
    bool AskYesNo(const std::string&, const std::string& text) override {
        texts.push_back(text);
        return false;
    }
};

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The shown window with a fake open dialog and message sink, and the C number format.
class Window : public testing::Test {
  protected:
    void SetUp() override {
        window_ = std::make_unique<frm_Quorvel>(
            WindowServices{std::make_unique<QtNumberFormat>(QLocale::c()),
                           std::unique_ptr<MessageSink>(sink_ = new FakeSink),
                           std::unique_ptr<FileDialog>(dialog_ = new FakeDialog), nullptr});
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    QString CopyOfExample(const QString& name) {
        QFile::copy(QUORVEL_EXAMPLES "/" + name, dir_.filePath(name));
        return dir_.filePath(name);
    }
    template <typename T = QWidget>
    T* Control(const char* name) {
        return window_->findChild<T*>(name);
    }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    // The user clicks into the field, selects its text and types over it.
    void Type(const char* field, const char* text) {
        Click(field);
        Control<QLineEdit>(field)->selectAll();
        QTest::keyClicks(Control(field), text);
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

    QTemporaryDir dir_;
    FakeDialog* dialog_ = nullptr;
    FakeSink* sink_ = nullptr;
    std::unique_ptr<frm_Quorvel> window_;
};

TEST_F(Window, EveryControlAsTheTableGivesIt) {
    QFile file(QUORVEL_CONTROLS_TABLE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    // Rows after two comment lines and the heading:
    // name;kind;in;caption;left;top;width;height;tab;tooltip;align
    std::vector<QStringList> table;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n').mid(3))
        if (!line.isEmpty()) table.push_back(line.split(';'));
    ASSERT_EQ(table.size(), 46u);
    const QStringList kinds{"button", "field", "frame", "label", "option"};
    const QStringList classes{"QPushButton", "QLineEdit", "QGroupBox", "QLabel", "QRadioButton"};
    const auto px = [](const QString& twips) { return int(std::lround(twips.toInt() / 15.0)); };
    for (std::size_t i = 0; i < table.size(); ++i) {
        const QStringList& c = table[i];
        SCOPED_TRACE(c[0].toStdString());
        const auto found = window_->findChildren<QWidget*>(c[0]);
        ASSERT_EQ(found.size(), 1);
        QWidget* w = found.front();
        EXPECT_TRUE(w->inherits(classes.value(kinds.indexOf(c[1])).toLatin1()));
        EXPECT_EQ(w->parentWidget()->objectName(), c[2]);
        EXPECT_EQ(w->geometry(), QRect(px(c[4]), px(c[5]), px(c[6]), px(c[7])));
        EXPECT_EQ(w->toolTip(), c[9]);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), c[3]);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                      c[10] == "c" ? Qt::AlignHCenter : Qt::AlignLeft);
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            EXPECT_EQ(frame->title(), c[3]);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), c[3]);
            EXPECT_TRUE(button->focusPolicy() & Qt::ClickFocus) << "a click must take the focus";
            // A screen reader names each bare option mark by the label to its right.
            if (c[1] == "option") {
                EXPECT_EQ(button->accessibleName(), table[i + 1][3]);
            }
            if (auto* push = qobject_cast<QPushButton*>(w)) {
                EXPECT_FALSE(push->autoDefault() || push->isDefault());
                EXPECT_FALSE(push->icon().isNull());
            }
        }
    }
    EXPECT_EQ(window_->windowTitle(), "Eigenschaften Rollmaterial");
    EXPECT_EQ(window_->size(), QSize(559, 235));
    EXPECT_FALSE(window_->windowIcon().isNull());
    EXPECT_EQ(Control("tx_Datei")->palette().color(QPalette::Base), QColor(192, 192, 192));
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
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
    for (const QGroupBox* frame : window.findChildren<QGroupBox*>())
        EXPECT_LT(QFontMetrics(frame->font()).horizontalAdvance(frame->title()), frame->width());
}

TEST_F(Window, RightAfterStartAndTabOrder) {
    for (const QRadioButton* option : window_->findChildren<QRadioButton*>()) {
        const QString name = option->objectName();
        EXPECT_EQ(option->isEnabled(), name != "Opt_DLok" && name != "Opt_Elok")
            << name.toStdString();
        EXPECT_EQ(option->isChecked(), name == "Opt_Andere") << name.toStdString();
    }
    EXPECT_TRUE(Control("lab_DLok")->isEnabled() && Control("lab_Elok")->isEnabled());
    EXPECT_FALSE(Control("Fra_Motor")->isVisible());
    for (const QLineEdit* field : window_->findChildren<QLineEdit*>()) {
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
        EXPECT_EQ(field->isVisible(), field->parentWidget()->objectName() != "Fra_Motor");
    }
    EXPECT_EQ(QApplication::focusWidget(), Control("bu_open"));

    // Tab skips the hidden motor frame, and visits it once a file shows it.
    EXPECT_EQ(TabCycle(), "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK Opt_Andere");
    window_->OpenPath(QUORVEL_EXAMPLES "/stadtbus.txt");  // a motor and four ratios
    EXPECT_EQ(TabCycle(),
              "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK tx_Leistung tx_U1 tx_U2 "
              "tx_U3 tx_Treib tx_ueber_0 tx_ueber_1 tx_ueber_2 tx_ueber_3 tx_VMaxR tx_VmaxV "
              "Opt_Andere");
}

TEST_F(Window, OpenPresetTypeSpeedAndSave) {
    const QString path = CopyOfExample("elok.txt");
    const QByteArray original = Bytes(path);
    dialog_->chosen = path.toStdString();
    Click("bu_open");
    ASSERT_EQ(dialog_->shown, 1);
    EXPECT_TRUE(Control("Fra_Motor")->isVisible());
    EXPECT_EQ(Control<QLineEdit>("tx_Datei")->text(), path);

    Click("Opt_Elok");
    EXPECT_TRUE(Control<QRadioButton>("Opt_Elok")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("tx_U1")->text(), "1500");

    Type("tx_VmaxV", "80\r");
    EXPECT_EQ(window_->tx_ueber(5)->text(), "13.3");

    // Leaving the radius field for the save button normalizes it and recomputes the
    // speeds before the save collects the fields.
    Type("tx_Treib", "65,5");
    Click("bu_save");
    EXPECT_EQ(Control<QLineEdit>("tx_Treib")->text(), "65.5");
    EXPECT_EQ(Control<QLineEdit>("tx_VmaxV")->text(), "84.21");
    QByteArray expected = original;
    expected.replace("( 62 )", "( 65.5 )")
        .replace("( 9.0 )", "( 26.5 )")
        .replace("( 6.3 )", "( 19.9 )")
        .replace("( 3.6 )", "( 13.3 )");
    EXPECT_EQ(Bytes(path).toStdString(), expected.toStdString());
    EXPECT_EQ(Bytes(path + "_Orig"), original);
    EXPECT_TRUE(sink_->texts.empty());
}

TEST_F(Window, LabelsAndAndereAndThePathFieldRunNothing) {
    window_->OpenPath(CopyOfExample("elok.txt").toStdString());
    const EditorState before = window_->state();
    for (const char* label : {"lab_DLok", "lab_Elok", "lab_Zelmo", "Lab_Stadt", "lab_Masse"})
        Click(label);
    Click("Opt_Andere");
    EXPECT_EQ(window_->state().tx_BremsK, before.tx_BremsK);
    EXPECT_EQ(window_->state().tx_U1, before.tx_U1);
    EXPECT_EQ(window_->state().selected, TypeOption::Opt_Andere);

    Type("tx_Datei", "anderswo.txt\r");
    Click("tx_Masse");
    EXPECT_EQ(window_->state().tx_Datei, "anderswo.txt");
    EXPECT_EQ(dialog_->shown, 0);
    EXPECT_TRUE(sink_->texts.empty());

    // Enter on the focused open button clicks it.
    QWidget* open = Control("bu_open");
    open->setFocus();
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_EQ(dialog_->shown, 1);
}

TEST_F(Window, SaveRefusesATextTheFileCannotHold) {
    const QString path = CopyOfExample("waggon.txt");
    const QByteArray original = Bytes(path);
    window_->OpenPath(path.toStdString());
    Type("tx_Masse", "22000 (leer)");
    Click("bu_save");
    ASSERT_EQ(sink_->texts.size(), 1u);
    EXPECT_NE(sink_->texts[0].find("nicht gespeichert"), std::string::npos);
    EXPECT_EQ(Bytes(path), original);
    EXPECT_FALSE(QFile::exists(path + "_Orig"));
}

TEST_F(Window, EnterCountsOnlyWhenTheFieldSawItsPress) {
    window_->OpenPath(CopyOfExample("elok.txt").toStdString());
    Type("tx_VMaxR", "50");
    // The release of an Enter pressed elsewhere, e.g. on a message box now closed.
    QTest::sendKeyEvent(QTest::Release, Control("tx_VMaxR"), Qt::Key_Return, '\r', {});
    EXPECT_EQ(window_->tx_ueber(0)->text(), "-4.0");
    QTest::keyClick(Control("tx_VMaxR"), Qt::Key_Return);
    EXPECT_EQ(window_->tx_ueber(0)->text(), "-21.2");
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
