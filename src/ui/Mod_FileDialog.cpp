#include "Mod_FileDialog.h"

#include <QDir>
#include <QWidget>

namespace quorvel {

QStringList NameFiltersFromPairs(const std::string& filter) {
    QStringList parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        std::size_t end = filter.find('\0', start);
        if (end == std::string::npos) end = filter.size();
        parts << QString::fromStdString(filter.substr(start, end - start));
        start = end + 1;
    }

    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) pattern = pattern.trimmed();
        const QString list = patterns.join(QLatin1Char(' '));
        // Qt reads the patterns from the parentheses at the end of the filter, so the
        // description's own, when it has them, would hide the pattern.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0) description = description.left(open).trimmed();
        }
        if (description.isEmpty()) description = list;
        filters << description + QStringLiteral(" (") + list + QLatin1Char(')');
    }
    return filters;
}

void ConfigureOpenDialog(QFileDialog& dialog, const std::string& filter,
                         const std::optional<std::string>& initialFolder) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = NameFiltersFromPairs(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    // A missing or empty folder leaves the first folder to the platform.
    if (initialFolder && !initialFolder->empty()) {
        const QDir folder(QDir::fromNativeSeparators(QString::fromStdString(*initialFolder)));
        if (folder.exists()) dialog.setDirectory(folder);
    }
}

std::string QtFileDialog::ShowOpenDialog(const std::string& filter, std::uint32_t /*flags*/,
                                         const std::optional<std::string>& initialFolder) {
    QFileDialog dialog(parent_);
    ConfigureOpenDialog(dialog, filter, initialFolder);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return QDir::toNativeSeparators(chosen.front()).toStdString();
}

}  // namespace quorvel
