// The filter, the loader front and drop contents.
#include "selection.h"

#include "decoder/format.h"
#include "decoderhelper.h"
#include "raster.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <cstring>

namespace pictures {

QString pictureFilter() {
    return QStringLiteral("読込可能全画像種類|*.jpg;*.GIF;*.bmp;*.ico;*.WMF;*.EMF|") +
           QStringLiteral("JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF (*.GIF)|*.GIF|") +
           QStringLiteral("ビットマップ (*.bmp)|*.bmp|アイコン (*.ico)|*.ico|") +
           QStringLiteral("メタファイル (*.WMF;*.EMF)|*.WMF;*.EMF");
}

namespace {
bool startsWith(const QByteArray& head, const char* magic, qsizetype length) {
    return head.size() >= length && std::memcmp(head.constData(), magic, std::size_t(length)) == 0;
}

// The formats decoded in the game's own process, by their signatures; Qt's readers of these are part of
// Qt itself and have long faced untrusted files. Everything else goes to the helper.
QByteArray trustedFormat(const QByteArray& head) {
    if (startsWith(head, "\xFF\xD8\xFF", 3)) {
        return "jpeg";
    }
    if (startsWith(head, "\x89PNG\r\n\x1A\n", 8)) {
        return "png";
    }
    if (startsWith(head, "GIF87a", 6) || startsWith(head, "GIF89a", 6)) {
        return "gif";
    }
    if (startsWith(head, "BM", 2)) {
        return "bmp";
    }
    if (startsWith(head, "\0\0\1\0", 4)) {
        return "ico";
    }
    return {};
}

platform::Picture loadInHelper(QFile& file, int neededLongSide) {
    if (file.size() > qint64(metafile::kMaxFileBytes)) {
        return {};
    }
    const QByteArray bytes = file.read(qint64(metafile::kMaxFileBytes) + 1);
    return decodeInHelper(bytes, neededLongSide);
}
} // namespace

platform::Picture loadPicture(const QString& path, int neededLongSide) {
    const std::unique_ptr<QFile> file = platform::openRegularFile(path);
    if (!file) {
        return {};
    }
    const QByteArray format = trustedFormat(file->peek(16));
    return format.isEmpty() ? loadInHelper(*file, neededLongSide)
                            : loadRasterPicture(*file, neededLongSide, format);
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
