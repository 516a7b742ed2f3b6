// A Qt file dialog with case-insensitive filters. The first entry is selected when it opens.
#include "filedialog.h"

#include <QFileDialog>

namespace platform {

QList<FilterEntry> parseFilter(const QString& filter) {
    QList<FilterEntry> entries;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        entries.append({parts[i], parts[i + 1].split(u';', Qt::SkipEmptyParts)});
    }
    return entries;
}

namespace {
// Qt's filter form carries the patterns in parentheses; every letter is written as a [xX] class so the
// match ignores case on file systems where Qt's own matching does not.
QString caseFreePattern(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper()) {
            out += u'[';
            out += c.toLower();
            out += c.toUpper();
            out += u']';
        } else {
            out += c;
        }
    }
    return out;
}

QString qtFilter(const FilterEntry& entry) {
    QStringList patterns;
    for (const QString& p : entry.patterns) {
        patterns.append(caseFreePattern(p));
    }
    return entry.description + QStringLiteral(" (") + patterns.join(u' ') + u')';
}
} // namespace

QFileDialog* makeOpenFileDialog(QWidget* parent, const QString& filter) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QStringLiteral("openFileDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The descriptions are shown as written; the bracketed patterns after them are Qt's working copy.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    for (const FilterEntry& e : parseFilter(filter)) {
        filters.append(qtFilter(e));
    }
    dialog->setNameFilters(filters);
    if (!filters.isEmpty()) {
        dialog->selectNameFilter(filters.first());
    }
    return dialog;
}

} // namespace platform
