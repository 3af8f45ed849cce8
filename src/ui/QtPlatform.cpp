#include "QtPlatform.h"

#include <QAbstractButton>
#include <QWidget>

namespace quorvel {

std::string QtNumberFormat::DecimalSeparator() const {
    return Locale().decimalPoint().toStdString();
}

std::string QtNumberFormat::GroupSeparator() const {
    return Locale().groupSeparator().toStdString();
}

namespace {

// A box wraps its text at spaces and after a path's separators; a name longer than a line
// would be cut off at the box's edge, so it is given a break opportunity (a zero-width
// space) every kLongestRun characters.
QString Breakable(const QString& text) {
    constexpr int kLongestRun = 30;
    QString out;
    out.reserve(text.size() + text.size() / kLongestRun);
    int run = 0;
    for (const QChar c : text) {
        if (run == kLongestRun) {
            out += QChar(0x200B);
            run = 0;
        }
        out += c;
        const bool breaks =
            c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('-');
        run = breaks ? 0 : run + 1;
    }
    return out;
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& caption, const std::string& text,
                                            MessageIcon icon, QWidget* parent) {
    // Messages break their lines with CR LF; a label shows CR as a character of its own.
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body = Breakable(body);
    const QMessageBox::Icon shown = icon == MessageIcon::Critical      ? QMessageBox::Critical
                                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                                       : QMessageBox::Warning;
    auto box = std::make_unique<QMessageBox>(
        shown, QString::fromStdString(caption.empty() ? std::string(kAppTitle) : caption), body,
        QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

std::unique_ptr<QMessageBox> MakeQuestionBox(const std::string& caption, const std::string& text,
                                             QWidget* parent) {
    auto box = MakeMessageBox(caption, text, MessageIcon::Exclamation, parent);
    box->setIcon(QMessageBox::Question);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box->button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

bool QtMessageSink::AskYesNo(const std::string& caption, const std::string& text) {
    return MakeQuestionBox(caption, text, parent_)->exec() == QMessageBox::Yes;
}

void QtMessageSink::ShowMessage(const std::string& caption, const std::string& text,
                                MessageIcon icon) {
    MakeMessageBox(caption, text, icon, parent_)->exec();
}

}  // namespace quorvel
