#pragma once

#include <QLocale>
#include <QMessageBox>
#include <memory>
#include <optional>
#include <string>

#include "Platform.h"

class QWidget;

// The user's number format and message boxes, through Qt.
namespace quorvel {

class QtNumberFormat : public NumberFormat {
  public:
    // Follows the system's regional settings, read at each call.
    QtNumberFormat() = default;
    // A fixed locale, for tests.
    explicit QtNumberFormat(QLocale locale) : locale_(std::move(locale)) {}

    std::string DecimalSeparator() const override;
    std::string GroupSeparator() const override;

  private:
    QLocale Locale() const { return locale_ ? *locale_ : QLocale::system(); }
    std::optional<QLocale> locale_;
};

// Modal message boxes with one OK button, owned by the given window.
class QtMessageSink : public MessageSink {
  public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;

  private:
    QWidget* parent_;
};

// The box ShowMessage shows: plain text (a path with '<' in it stays as it is) that
// wraps within long names too, so a path shows whole; the icon's Qt counterpart,
// caption kAppTitle when none is given.
std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& caption, const std::string& text,
                                            MessageIcon icon, QWidget* parent);

// The box AskYesNo shows: a question with "Ja" and "Nein", "Nein" the default.
std::unique_ptr<QMessageBox> MakeQuestionBox(const std::string& caption, const std::string& text,
                                             QWidget* parent);

}  // namespace quorvel
