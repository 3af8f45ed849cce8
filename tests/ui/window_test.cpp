#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

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
};

struct NoHost : HostLookup {
    std::string RollingStockFolder() override { return {}; }
};

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class WindowUse : public testing::Test {
  protected:
    void SetUp() override {
        auto dialog = std::make_unique<FakeDialog>();
        auto sink = std::make_unique<FakeSink>();
        dialog_ = dialog.get();
        sink_ = sink.get();
        window_ = std::make_unique<frm_Quorvel>(
            WindowServices{std::make_unique<QtNumberFormat>(QLocale::c()), std::move(sink),
                           std::move(dialog), std::make_unique<NoHost>()});
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }

    // A copy of an example file in a folder of the test's own.
    QString Example(const QString& name) {
        const QString path = dir_.filePath(name);
        QFile::copy(QString(QUORVEL_EXAMPLES) + "/" + name, path);
        return path;
    }
    template <typename T = QWidget>
    T* Control(const char* name) {
        return window_->findChild<T*>(name);
    }
    // The user clicks into the field, selects its text and types over it.
    void Type(const char* field, const char* text) {
        auto* edit = Control<QLineEdit>(field);
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }

    QTemporaryDir dir_;
    FakeDialog* dialog_ = nullptr;
    FakeSink* sink_ = nullptr;
    std::unique_ptr<frm_Quorvel> window_;
};

TEST_F(WindowUse, OpenPresetTypeSpeedAndSave) {
    const QString path = Example("elok.txt");
    const QByteArray original = Bytes(path);
    dialog_->chosen = path.toStdString();
    Click("bu_open");
    ASSERT_EQ(dialog_->shown, 1);
    EXPECT_TRUE(Control("Fra_Motor")->isVisible());
    EXPECT_EQ(Control<QLineEdit>("tx_Datei")->text(), path);

    Click("Opt_Elok");
    EXPECT_TRUE(Control<QRadioButton>("Opt_Elok")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("tx_U1")->text(), "1500");

    Type("tx_VmaxV", "80");
    QTest::keyClick(Control("tx_VmaxV"), Qt::Key_Return);
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

TEST_F(WindowUse, LabelsAndAndereAndThePathFieldRunNothing) {
    window_->OpenPath(Example("elok.txt").toStdString());
    const EditorState before = window_->state();
    for (const char* label : {"lab_DLok", "lab_Elok", "lab_Zelmo", "Lab_Stadt", "lab_Masse"})
        Click(label);
    Click("Opt_Andere");
    EXPECT_EQ(window_->state().tx_BremsK, before.tx_BremsK);
    EXPECT_EQ(window_->state().tx_U1, before.tx_U1);
    EXPECT_EQ(window_->state().selected, TypeOption::Opt_Andere);

    Type("tx_Datei", "anderswo.txt");
    QTest::keyClick(Control("tx_Datei"), Qt::Key_Return);
    Click("tx_Masse");
    EXPECT_EQ(window_->state().tx_Datei, "anderswo.txt");
    EXPECT_EQ(dialog_->shown, 0);
    EXPECT_TRUE(sink_->texts.empty());
}

TEST_F(WindowUse, SaveRefusesATextTheFileCannotHold) {
    const QString path = Example("waggon.txt");
    const QByteArray original = Bytes(path);
    window_->OpenPath(path.toStdString());
    Type("tx_Masse", "22000 (leer)");
    Click("bu_save");
    ASSERT_EQ(sink_->texts.size(), 1u);
    EXPECT_NE(sink_->texts[0].find("nicht gespeichert"), std::string::npos);
    EXPECT_EQ(Bytes(path), original);
    EXPECT_FALSE(QFile::exists(path + "_Orig"));
}

TEST_F(WindowUse, EnterCountsOnlyWhenTheFieldSawItsPress) {
    window_->OpenPath(Example("elok.txt").toStdString());
    Type("tx_VMaxR", "50");
    // The release of an Enter pressed elsewhere, e.g. on a message box now closed.
    QTest::sendKeyEvent(QTest::Release, Control("tx_VMaxR"), Qt::Key_Return, '\r', {});
    EXPECT_EQ(window_->tx_ueber(0)->text(), "-4.0");
    QTest::keyClick(Control("tx_VMaxR"), Qt::Key_Return);
    EXPECT_EQ(window_->tx_ueber(0)->text(), "-21.2");
}

}  // namespace
}  // namespace quorvel
