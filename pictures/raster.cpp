// Raster picture loading through QImageReader, with the limits that make untrusted files safe to open.
#include "raster.h"

#include "cmykjpeg.h"
#include "colour.h"
#include "iccprofile.h"
#include "orientation.h"
#include "progressivejpeg.h"
#include "widepng.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <optional>

namespace pictures {

using platform::extentOfPixels;
using platform::kMaxDecodedSide;
using platform::kMaxSourcePixels;
using platform::kMaxUnscaledPixels;
using platform::Picture;

namespace {
// Vector formats that Qt's plugins would rasterise are not raster pictures; metafiles have their own path.
bool isRasterFormat(const QByteArray& format) {
    return !format.isEmpty() && format != "svg" && format != "svgz";
}

// Whether the size a header claims may be decoded: refused before any pixel is allocated when absurd.
bool claimedSizeAcceptable(const QImageReader& reader, QSize claimed) {
    if (!claimed.isValid()) {
        return true; // the handler cannot tell; Qt's allocation limit still bounds the decode
    }
    const qint64 pixels = qint64(claimed.width()) * claimed.height();
    const bool scalesOnDecode = reader.supportsOption(QImageIOHandler::ScaledSize);
    // A JPEG beyond the source limit (a phone's 200-megapixel photo) is decoded at 1/8, never whole: it is
    // taken while that fits the largest decode.
    return pixels <= (scalesOnDecode ? kMaxSourcePixels : kMaxUnscaledPixels) ||
           (reader.format() == "jpeg" && std::max(claimed.width(), claimed.height()) / 8 <= kMaxDecodedSide);
}

// A size with its proportions kept and its long side at most longSide, never less than a pixel on its short
// side (a 1 x 4097 picture scales to 1 x 4096, not to nothing).
QSize boundedSize(QSize original, int longSide) {
    if (original.width() <= longSide && original.height() <= longSide) {
        return original;
    }
    const double scale = double(longSide) / std::max(original.width(), original.height());
    return {std::max(1, int(std::lround(original.width() * scale))),
            std::max(1, int(std::lround(original.height() * scale)))};
}

// The size to decode at. A JPEG decoder scales by 1/2, 1/4 or 1/8 as it decodes, for a fraction of the work
// of a whole decode: the smallest of those that still gives the needed long side is taken exactly, so nothing
// is scaled again afterwards. Other formats decode whole and are scaled to the needed long side.
QSize decodeSize(const QImageReader& reader, QSize original, int neededLongSide) {
    const int needed = std::clamp(neededLongSide, 1, kMaxDecodedSide);
    const int longSide = std::max(original.width(), original.height());
    if (longSide <= needed) {
        return original;
    }
    if (reader.format() == "jpeg") {
        // Beyond the source limit, 1/8 whatever the need; rounded down, so that Qt's reader takes 1/8 too.
        if (qint64(original.width()) * original.height() > kMaxSourcePixels) {
            return {std::max(1, original.width() / 8), std::max(1, original.height() / 8)};
        }
        for (const int denominator : {8, 4, 2}) {
            const QSize scaled((original.width() + denominator - 1) / denominator,
                               (original.height() + denominator - 1) / denominator);
            if (std::max(scaled.width(), scaled.height()) >= needed &&
                original.width() / scaled.width() == denominator &&
                original.height() / scaled.height() == denominator) {
                return scaled;
            }
        }
    }
    return boundedSize(original, needed);
}

// Whether Qt's JPEG reader, asked for this size, has the decoder scale by 1/8: it takes the smallest M/8
// that still reaches the asked size, and scales any remainder itself.
bool decodesAtEighth(QSize original, QSize scaled) {
    if (scaled.isEmpty()) {
        return false;
    }
    const double f =
        std::min(double(original.width()) / scaled.width(), double(original.height()) / scaled.height());
    return qCeil(8 / f) <= 1;
}

// A progressive JPEG read at 1/8 goes through a baseline stream of just what that scale reads, and gives the
// same image as the reader would from the whole file (progressivejpeg.h). Null when that path does not take
// the file; the device then stands where it stood, for the reader to go on.
QImage readProgressiveAtEighth(QIODevice& device, QSize scaled) {
    const qint64 at = device.pos();
    QImage image;
    if (!device.isSequential() && device.seek(0)) {
        if (const std::unique_ptr<EighthScaleJpeg> stream = EighthScaleJpeg::make(device)) {
            QImageReader reader(stream.get(), "jpeg");
            reader.setAutoTransform(true);
            reader.setScaledSize(scaled);
            image = reader.read();
            if (!stream->complete()) {
                image = QImage(); // a scan proved bad on the way: the whole file decodes as it is
            }
        }
    }
    device.seek(at);
    return image;
}

// A phone stores its photos as the sensor saw them and says in the EXIF orientation how to turn them;
// the picture's extent is that of the upright picture.
QSize uprightSize(QSize stored, QImageIOHandler::Transformations transformation) {
    return transformation.testFlag(QImageIOHandler::TransformationRotate90) ? stored.transposed() : stored;
}

// A CMYK JPEG decoded in its profile's colours at the scale its reader was asked for, turned as Qt's reader
// turns what it reads (mirrored, then a quarter turn); null where that decoder does not take the file.
QImage readCmykJpeg(QIODevice& device, QSize original, QSize scaled, const QByteArray& profile,
                    QImageIOHandler::Transformations transformation) {
    const qint64 at = device.pos();
    if (device.isSequential() || !device.seek(0)) {
        return {};
    }
    const QByteArray file = device.readAll();
    device.seek(at);
    // The largest of 1/8, 1/4 and 1/2 that still reaches the asked size, as Qt's reader would take.
    int denominator = 1;
    for (const int d : {8, 4, 2}) {
        if (scaled.isValid() && !scaled.isEmpty() && original.width() / scaled.width() >= d &&
            original.height() / scaled.height() >= d) {
            denominator = d;
            break;
        }
    }
    QImage image = decodeCmykJpeg(file, denominator, profile);
    if (!image.isNull() && scaled.isValid() && !scaled.isEmpty() && image.size() != scaled) {
        image = image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); // the rest, as Qt does
    }
    if (image.isNull() || transformation == QImageIOHandler::TransformationNone) {
        return image;
    }
    if (transformation == QImageIOHandler::TransformationRotate270) {
        return image.transformed(QTransform().rotate(-90));
    }
    image = image.mirrored(transformation.testFlag(QImageIOHandler::TransformationMirror),
                           transformation.testFlag(QImageIOHandler::TransformationFlip));
    return transformation.testFlag(QImageIOHandler::TransformationRotate90)
               ? image.transformed(QTransform().rotate(90))
               : image;
}

void allowWholeDecodes() {
    // Qt's default limit (128 MB) refuses an unscaled 48-megapixel decode; the header checks above
    // bound what reaches the decoder, so the limit only backs them up.
    static const bool once = [] {
        QImageReader::setAllocationLimit(int(kMaxUnscaledPixels * 4 / (1024 * 1024)) + 16);
        return true;
    }();
    (void)once;
}

// A GIF's logical screen and the first image on it, read from the header and the blocks before that image.
struct GifLayout {
    QSize screen;
    QRect image;
    qsizetype descriptor = 0; // offset of the image descriptor's separator byte
};

quint16 littleEndian16(const QByteArray& bytes, qsizetype at) {
    return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

std::optional<GifLayout> gifLayout(const QByteArray& bytes) {
    constexpr qsizetype kScreenDescriptorEnd = 13;
    if (bytes.size() < kScreenDescriptorEnd || !(bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))) {
        return std::nullopt;
    }
    GifLayout layout;
    layout.screen = QSize(littleEndian16(bytes, 6), littleEndian16(bytes, 8));
    const quint8 flags = quint8(bytes[10]);
    qsizetype at = kScreenDescriptorEnd + ((flags & 0x80) ? 3 * (2 << (flags & 0x07)) : 0);
    // Extensions (comments, animation control, application data) come as chains of sized sub-blocks.
    while (at < bytes.size() && bytes[at] == '\x21') {
        at += 2;
        while (at < bytes.size() && bytes[at] != 0) {
            at += quint8(bytes[at]) + 1;
        }
        ++at;
    }
    constexpr qsizetype kImageDescriptorSize = 10;
    if (at + kImageDescriptorSize > bytes.size() || bytes[at] != '\x2C') {
        return std::nullopt;
    }
    layout.descriptor = at;
    layout.image = QRect(littleEndian16(bytes, at + 1), littleEndian16(bytes, at + 3),
                         littleEndian16(bytes, at + 5), littleEndian16(bytes, at + 7));
    return layout;
}

void putLittleEndian16(QByteArray& bytes, qsizetype at, int value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char((value >> 8) & 0xFF);
}

// Decodes the first image of a GIF alone and places it, scaled like the whole picture, on its screen.
// Qt's decoder would allocate the whole screen first, which for 65535 x 65535 is 16 GB.
Picture loadGifOnLargeScreen(QIODevice& device, int neededLongSide) {
    constexpr qint64 kMaxGifBytes = 128 * 1024 * 1024;
    if (!device.seek(0)) {
        return {};
    }
    QByteArray bytes = device.read(kMaxGifBytes + 1);
    const std::optional<GifLayout> layout = gifLayout(bytes);
    if (bytes.size() > kMaxGifBytes || !layout || layout->image.isEmpty() || layout->screen.isEmpty() ||
        qint64(layout->image.width()) * layout->image.height() > kMaxUnscaledPixels) {
        return {};
    }
    // The screen shrinks to the image, and the image moves to the screen's corner.
    putLittleEndian16(bytes, 6, layout->image.width());
    putLittleEndian16(bytes, 8, layout->image.height());
    putLittleEndian16(bytes, layout->descriptor + 1, 0);
    putLittleEndian16(bytes, layout->descriptor + 3, 0);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    const QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    const QSize canvasSize = boundedSize(layout->screen, std::clamp(neededLongSide, 1, kMaxDecodedSide));
    const double sx = double(canvasSize.width()) / layout->screen.width();
    const double sy = double(canvasSize.height()) / layout->screen.height();
    QImage canvas(canvasSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect& at = layout->image;
    painter.drawImage(
        QRectF(at.x() * sx, at.y() * sy, std::max(1.0, at.width() * sx), std::max(1.0, at.height() * sy)),
        image);
    painter.end();
    return {canvas, extentOfPixels(layout->screen)};
}
// The index of an icon file's largest image, the deepest of those: its directory's entries are a width and a
// height (0 for 256), a palette size, a reserved byte, planes and bits per pixel, each 16 bytes from byte 6.
int bestIcon(QIODevice& device) {
    const QByteArray head = device.peek(6 + 16 * 256);
    if (head.size() < 6) {
        return 0;
    }
    const int count = std::min(int(littleEndian16(head, 4)), int((head.size() - 6) / 16));
    int best = 0;
    qint64 bestArea = -1, bestBits = -1;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 6 + 16 * qsizetype(i);
        const int w = quint8(head[at]) == 0 ? 256 : quint8(head[at]);
        const int h = quint8(head[at + 1]) == 0 ? 256 : quint8(head[at + 1]);
        const int bits = littleEndian16(head, at + 6);
        if (qint64(w) * h > bestArea || (qint64(w) * h == bestArea && bits > bestBits)) {
            best = i;
            bestArea = qint64(w) * h;
            bestBits = bits;
        }
    }
    return best;
}

} // namespace

QImage fitted(QImage image, int longSide) {
    const QSize size = boundedSize(image.size(), longSide);
    if (size == image.size()) {
        return image;
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

Picture loadRasterPicture(QIODevice& device, int neededLongSide, const QByteArray& format) {
    allowWholeDecodes();
    // A file's name says nothing to trust: its content decides, either as sniffed by the caller or, when
    // no format is given, by asking every image plugin.
    QImageReader reader(&device, format);
    reader.setDecideFormatFromContent(format.isEmpty());
    reader.setAutoTransform(true);
    if (!isRasterFormat(reader.format())) {
        return {};
    }
    if (reader.format() == "ico") {
        // An icon file holds the same icon at several sizes and depths; a viewer shows the best of them.
        reader.jumpToImage(bestIcon(device));
    }
    QSize original = reader.size();
    if (!claimedSizeAcceptable(reader, original)) {
        // Some encoders write a GIF screen far larger than the picture it holds: decode the picture alone.
        return reader.format() == "gif" ? loadGifOnLargeScreen(device, neededLongSide) : Picture();
    }
    const QImageIOHandler::Transformations transformation = reader.transformation();
    // PNG and WebP keep EXIF in a chunk of their own that Qt's plugins pass over: turned here, where the
    // plugin has not turned the picture itself.
    const int containerTurn = transformation == QImageIOHandler::TransformationNone
                                  ? containerOrientation(device, reader.format())
                                  : 0;
    // A JPEG's profile is put together here from all its segments; CMYK inks need it before they become RGB.
    const QByteArray jpegProfile = reader.format() == "jpeg" ? jpegIccProfile(device) : QByteArray();
    const bool cmykInks = isCmykProfile(jpegProfile);
    QImage image;
    if (original.isEmpty()) {
        original = QSize(); // a header claiming no width or height says nothing; the decoded size tells
    } else if (const QSize scaled = decodeSize(reader, original, neededLongSide); scaled != original) {
        reader.setScaledSize(scaled); // in the stored orientation: the turn comes after scaling
        if (reader.format() == "jpeg" && decodesAtEighth(original, scaled) && !cmykInks) {
            image = readProgressiveAtEighth(device, scaled);
        }
    }
    if (cmykInks) {
        image = readCmykJpeg(device, original, reader.scaledSize(), jpegProfile, transformation);
    }
    if (reader.format() == "png") {
        image = readWideRgbPngWithKey(device); // scaled after its transparent colour is found, below
    }
    if (image.isNull()) {
        image = reader.read();
    }
    if (image.isNull()) {
        return {};
    }
    QSize extentPixels = original.isValid() ? uprightSize(original, transformation) : image.size();
    image = fitted(std::move(image), kMaxDecodedSide);
    image =
        jpegProfile.isEmpty() || cmykInks ? toSrgb(std::move(image)) : toSrgb(std::move(image), jpegProfile);
    extentPixels = exchangesSides(containerTurn) ? extentPixels.transposed() : extentPixels;
    // In the format the reader gave: whoever draws it converts it once, in place where the formats allow.
    return {turnedUpright(std::move(image), containerTurn), extentOfPixels(extentPixels)};
}

} // namespace pictures
