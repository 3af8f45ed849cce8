#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>

#include <QApplication>

#include "Mod_FileDialog.h"
#include "QtPlatform.h"
#include "test_common.h"

namespace quorvel {
namespace {

using namespace std::string_literals;

TEST(QtNumberFormat, GivesTheLocalesSeparatorsAsUtf8) {
    const std::pair<QLocale, std::string> cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), ",."},
        {QLocale(QLocale::English, QLocale::UnitedStates), ".,"},
        {QLocale(QLocale::German, QLocale::Switzerland), ".\xE2\x80\x99"},  // U+2019
    };
    for (const auto& [locale, separators] : cases) {
        const QtNumberFormat format(locale);
        EXPECT_EQ(format.DecimalSeparator() + format.GroupSeparator(), separators);
    }
    // The test runs with LC_ALL=de_DE.UTF-8; QLocale::setDefault must not matter.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(QtNumberFormat().DecimalSeparator(), ",");
    QLocale::setDefault(QLocale::c());
}

TEST(QtFileDialog, TurnsFilterPairsIntoNameFiltersAndOpensExistingFiles) {
    EXPECT_EQ(NameFiltersFromPairs("Alle\0*.txt;*.doc\0Bilder (*.bmp)\0*.png"s),
              QStringList({"Alle (*.txt *.doc)", "Bilder (*.png)"}));
    EXPECT_EQ(NameFiltersFromPairs("Nur Beschreibung"s), QStringList());
    const std::string filter = "Text-Dateien (*.txt)\0*.txt\0"s;
    EXPECT_EQ(NameFiltersFromPairs(filter), QStringList("Text-Dateien (*.txt)"));

    TempFolder folder;
    QFileDialog dialog;
    const QString start = dialog.directory().absolutePath();
    ConfigureOpenDialog(dialog, filter, folder.path.string() + "/missing");
    EXPECT_EQ(dialog.directory().absolutePath(), start);
    ConfigureOpenDialog(dialog, filter, folder.path.string());
    EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog.selectedNameFilter(), "Text-Dateien (*.txt)");
    EXPECT_EQ(dialog.directory().absolutePath(), QString::fromStdString(folder.path.string()));
}

TEST(QtMessageSink, PlainTextBoxWithOkAndQuestionWithJaNein) {
    const auto box = MakeMessageBox("", "Fehler <b>\r\nNummer: 5", MessageIcon::Critical, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->windowTitle(), "Quorvel");
    EXPECT_EQ(box->text(), "Fehler <b>\nNummer: 5");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    for (const auto& [icon, shown] : {std::pair{MessageIcon::Exclamation, QMessageBox::Warning},
                                      {MessageIcon::Information, QMessageBox::Information}})
        EXPECT_EQ(MakeMessageBox("Titel", "", icon, nullptr)->icon(), shown);
    // A question has Ja and Nein, Nein the default.
    const auto ask = MakeQuestionBox("", "Trotzdem speichern?", nullptr);
    EXPECT_EQ(ask->icon(), QMessageBox::Question);
    EXPECT_EQ(ask->windowTitle(), "Quorvel");
    EXPECT_EQ(ask->button(QMessageBox::Yes)->text() + ask->button(QMessageBox::No)->text(),
              "&Ja&Nein");  // Alt+J, Alt+N
    EXPECT_EQ(ask->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(ask->defaultButton(), ask->button(QMessageBox::No));

    // A path shows whole in the box, however long its names: no line of the wrapped text is
    // wider than the text's room.
    for (const std::string& path :
         {"/" + std::string(20, 'a') + "/b.txt",
          "/home/" + std::string(250, 'x') + "/" + std::string(90, 'y')}) {
        const auto wide = MakeMessageBox("", "Die Datei\r\n" + path + "\r\nfehlt.",
                                         MessageIcon::Critical, nullptr);
        wide->show();
        const auto* label = wide->findChild<QLabel*>("qt_msgbox_label");
        const QRect needed =
            QFontMetrics(label->font())
                .boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.width(), label->width()) << path;
        EXPECT_EQ(label->text().remove(QChar(0x200B)).toStdString(),
                  "Die Datei\n" + path + "\nfehlt.");
    }
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // the build lists with no display
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
