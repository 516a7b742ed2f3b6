#include "widepng.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <optional>

namespace pictures {

namespace {
quint32 pngBigEndian32(const QByteArray& b, qsizetype at) {
    return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
           quint8(b[at + 3]);
}
quint16 pngBigEndian16(const QByteArray& b, qsizetype at) {
    return quint16(quint8(b[at]) << 8 | quint8(b[at + 1]));
}

// The file without its tRNS chunk, and the colour that chunk names; nothing unless the file is a 16-bit
// RGB PNG with such a chunk before its image data.
struct Keyed {
    QByteArray file;
    quint16 red = 0, green = 0, blue = 0;
};
std::optional<Keyed> keyed(const QByteArray& png) {
    constexpr qsizetype kHeaderEnd = 8 + 8 + 13 + 4; // the signature, then IHDR whole
    if (png.size() < kHeaderEnd || png.mid(12, 4) != "IHDR" || quint8(png[24]) != 16 ||
        quint8(png[25]) != 2) {
        return std::nullopt;
    }
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const qint64 length = pngBigEndian32(png, at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || at + 12 + length > png.size()) {
            return std::nullopt;
        }
        if (type == "tRNS") {
            if (length != 6) {
                return std::nullopt;
            }
            return Keyed{png.left(at) + png.mid(at + 12 + length), pngBigEndian16(png, at + 8),
                         pngBigEndian16(png, at + 10), pngBigEndian16(png, at + 12)};
        }
        at += 12 + length;
    }
    return std::nullopt;
}
} // namespace

QImage readWideRgbPngWithKey(QIODevice& device) {
    const qint64 was = device.pos();
    if (device.isSequential() || !device.seek(0)) {
        return {};
    }
    const QByteArray png = device.readAll();
    device.seek(was);
    std::optional<Keyed> key = keyed(png);
    if (!key) {
        return {};
    }
    QBuffer buffer(&key->file);
    buffer.open(QIODevice::ReadOnly);
    QImage image = QImageReader(&buffer, "png").read().convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x].red() == key->red && line[x].green() == key->green && line[x].blue() == key->blue) {
                line[x] = QRgba64::fromRgba64(0, 0, 0, 0);
            }
        }
    }
    return image;
}

} // namespace pictures
