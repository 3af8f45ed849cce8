#pragma once

#include <QFileDialog>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>

#include "Services.h"

class QWidget;

// The open-file dialog, through Qt's file dialog (the native one where the platform has
// one).
namespace quorvel {

class QtFileDialog : public FileDialog {
  public:
    // The dialog is modal to parent.
    explicit QtFileDialog(QWidget* parent = nullptr) : parent_(parent) {}

    // Lets the user pick one existing file and returns its full path (with the
    // platform's separators), or empty text on cancel. The flags are not needed: the
    // dialog always demands an existing file in an existing folder. The path has no
    // length limit.
    std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                               const std::optional<std::string>& initialFolder) override;

  private:
    QWidget* parent_;
};

// Qt's name filters ("Text-Dateien (*.txt)") from NUL-separated pairs of description
// and pattern ("Text-Dateien (*.txt)", NUL, "*.txt", NUL). Patterns separated by ';'
// become Qt's space-separated list; a description that already ends in its pattern
// list in parentheses is not given a second one.
QStringList NameFiltersFromPairs(const std::string& filter);

// Sets the dialog up as ShowOpenDialog shows it: existing files only, the filters, the
// first filter selected, and the initial folder when it names a folder that exists.
void ConfigureOpenDialog(QFileDialog& dialog, const std::string& filter,
                         const std::optional<std::string>& initialFolder);

}  // namespace quorvel
