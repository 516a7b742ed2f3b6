// The filter, the loader front and drop contents.
#include "selection.h"

#include "decoderhelper.h"
#include "raster.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace pictures {

QString pictureFilter() {
    return QStringLiteral("読込可能全画像種類|*.jpg;*.GIF;*.bmp;*.ico;*.WMF;*.EMF|") +
           QStringLiteral("JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF (*.GIF)|*.GIF|") +
           QStringLiteral("ビットマップ (*.bmp)|*.bmp|アイコン (*.ico)|*.ico|") +
           QStringLiteral("メタファイル (*.WMF;*.EMF)|*.WMF;*.EMF");
}

platform::Picture loadPicture(const QString& path, int neededLongSide, const DecoderSettings& settings) {
    const std::unique_ptr<QFile> file = platform::openRegularFile(path);
    if (!file) {
        return {};
    }
    if (path.startsWith(u':')) {
        // The program's own photograph, compiled in: no player chose it.
        const platform::Picture own = loadRasterPicture(*file, neededLongSide);
        return own.isEmpty() ? own
                             : platform::Picture(
                                   QImage(own.image()).convertToFormat(QImage::Format_ARGB32_Premultiplied),
                                   QSizeF(own.width(), own.height()));
    }
    // The game reads none of it: the helper gets the open file.
    return decodeFileInHelper(file->handle(), neededLongSide, settings);
}

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
