#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "Mod_FileDialog.h"
#include "QtPlatform.h"

namespace quorvel {
namespace {

TEST(QtNumberFormat, GivesTheLocalesSeparatorsAsUtf8) {
    struct Case {
        QLocale locale;
        std::string decimal;
        std::string group;
    };
    const Case cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), ",", "."},
        {QLocale(QLocale::English, QLocale::UnitedStates), ".", ","},
        {QLocale(QLocale::German, QLocale::Switzerland), ".", "\xE2\x80\x99"},  // U+2019
    };
    for (const Case& c : cases) {
        const QtNumberFormat format(c.locale);
        EXPECT_EQ(format.DecimalSeparator(), c.decimal) << c.locale.name().toStdString();
        EXPECT_EQ(format.GroupSeparator(), c.group) << c.locale.name().toStdString();
    }
    // The test runs with LC_ALL=de_DE.UTF-8; QLocale::setDefault must not matter.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(QtNumberFormat().DecimalSeparator(), ",");
    QLocale::setDefault(QLocale::c());
}

TEST(QtFileDialog, TurnsFilterPairsIntoNameFilters) {
    using namespace std::string_literals;
    struct Case {
        std::string pairs;
        QStringList filters;
    };
    const Case cases[] = {
        {"Text-Dateien (*.txt)\0*.txt\0"s, {"Text-Dateien (*.txt)"}},
        {"Alle\0*.txt;*.doc\0Bilder (*.bmp)\0*.png"s, {"Alle (*.txt *.doc)", "Bilder (*.png)"}},
        {"Nur Beschreibung"s, {}},
        {""s, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(NameFiltersFromPairs(c.pairs), c.filters);
}

TEST(QtFileDialog, OpensExistingFilesInTheGivenFolder) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string filter("Text-Dateien (*.txt)\0*.txt\0", 27);
    QFileDialog dialog;
    const QString start = dialog.directory().absolutePath();
    ConfigureOpenDialog(dialog, filter, folder.path().toStdString() + "/missing");
    EXPECT_EQ(dialog.directory().absolutePath(), start);
    ConfigureOpenDialog(dialog, filter, folder.path().toStdString());
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.selectedNameFilter(), "Text-Dateien (*.txt)");
    EXPECT_EQ(dialog.directory().absolutePath(), QDir(folder.path()).absolutePath());
}

TEST(QtMessageSink, BuildsAPlainTextBoxWithOneOkButton) {
    struct Case {
        MessageIcon icon;
        std::string caption;
        QMessageBox::Icon qtIcon;
        QString title;
    };
    const Case cases[] = {
        {MessageIcon::Exclamation, "Quorvel", QMessageBox::Warning, "Quorvel"},
        {MessageIcon::Critical, "", QMessageBox::Critical, "Quorvel"},
    };
    for (const Case& c : cases) {
        const auto box = MakeMessageBox(c.caption, "Fehler <b>\r\nNummer: 5", c.icon, nullptr);
        EXPECT_EQ(box->icon(), c.qtIcon);
        EXPECT_EQ(box->windowTitle(), c.title);
        EXPECT_EQ(box->text(), "Fehler <b>\nNummer: 5");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    }
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests, as the build does to register them, needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
