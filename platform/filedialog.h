// The open-file dialog itself: a Qt file dialog whose filter entries match names without regard to case.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QFileDialog;
class QWidget;

namespace platform {

struct FilterEntry {
    QString description;
    QStringList patterns; // "*.jpg", "*.GIF", …
};

// "desc|pat;pat|desc|pat" into entries.
QList<FilterEntry> parseFilter(const QString& filter);

// The dialog, set up and not yet shown: application-modal, deleted once closed.
QFileDialog* makeOpenFileDialog(QWidget* parent, const QString& filter);

} // namespace platform
