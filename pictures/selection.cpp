// The filter, the loader front and drop contents.
#include "selection.h"

#include <QMimeData>
#include <QUrl>

namespace pictures {

QString pictureFilter() {
    return QStringLiteral("読込可能全画像種類|*.jpg;*.GIF;*.bmp;*.ico;*.WMF;*.EMF|") +
           QStringLiteral("JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF (*.GIF)|*.GIF|") +
           QStringLiteral("ビットマップ (*.bmp)|*.bmp|アイコン (*.ico)|*.ico|") +
           QStringLiteral("メタファイル (*.WMF;*.EMF)|*.WMF;*.EMF");
}

platform::Picture loadPicture(const QString& path) { return platform::loadRasterPicture(path); }

std::optional<QString> firstDroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return std::nullopt;
    }
    const QUrl first = data->urls().first();
    if (!first.isLocalFile()) {
        return std::nullopt;
    }
    return first.toLocalFile();
}

} // namespace pictures
