// The filter, the loader front and drop contents.
#include "selection.h"

#include "metafile/format.h"
#include "metafileloader.h"

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

namespace {
constexpr qint64 kHeaderBytes = 128; // enough for either metafile header

metafile::Kind metafileKind(QFile& file) {
    const QByteArray head = file.peek(kHeaderBytes);
    return metafile::kindOf(
        {reinterpret_cast<const unsigned char*>(head.constData()), std::size_t(head.size())});
}

platform::Picture loadMetafile(QFile& file) {
    if (file.size() > qint64(metafile::kMaxFileBytes)) {
        return {};
    }
    const QByteArray bytes = file.read(qint64(metafile::kMaxFileBytes) + 1);
    return decodeMetafile(bytes);
}
} // namespace

platform::Picture loadPicture(const QString& path, int neededLongSide) {
    const std::unique_ptr<QFile> file = platform::openRegularFile(path);
    if (!file) {
        return {};
    }
    if (metafileKind(*file) != metafile::Kind::None) {
        return loadMetafile(*file);
    }
    return platform::loadRasterPicture(*file, neededLongSide);
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
