// Raster picture loading through QImageReader, with the limits that make untrusted files safe to open.
#include "picture.h"

#include "twips.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

Picture::Picture(QImage image, QSizeF extentHiMetric) : m_image(std::move(image)), m_extent(extentHiMetric) {}

QRectF Picture::sourcePixels(const QRectF& twips) const {
    if (isEmpty() || m_extent.isEmpty()) {
        return {};
    }
    const double sx = m_image.width() / m_extent.width() * kHiMetricPerTwip;
    const double sy = m_image.height() / m_extent.height() * kHiMetricPerTwip;
    return {twips.x() * sx, twips.y() * sy, twips.width() * sx, twips.height() * sy};
}

static QSizeF extentOfPixels(QSize pixels) {
    return {pixels.width() * kHiMetricPerPixel, pixels.height() * kHiMetricPerPixel};
}

Picture rasterPictureFromImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    return {image, extentOfPixels(image.size())};
}

std::unique_ptr<QFile> openRegularFile(const QString& path) {
    if (path.startsWith(u':')) { // compiled-in resources live in memory
        auto file = std::make_unique<QFile>(path);
        return file->open(QIODevice::ReadOnly) ? std::move(file) : nullptr;
    }
    // Non-blocking, so that opening a FIFO returns at once; the type is checked on what was opened.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

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
    return pixels <= (scalesOnDecode ? kMaxSourcePixels : kMaxUnscaledPixels);
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
    return original.scaled(needed, needed, Qt::KeepAspectRatio);
}

QImage fitWithinDecodedSide(QImage image) {
    if (image.width() <= kMaxDecodedSide && image.height() <= kMaxDecodedSide) {
        return image;
    }
    return image.scaled(kMaxDecodedSide, kMaxDecodedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
} // namespace

Picture loadRasterPicture(QIODevice& device, int neededLongSide) {
    allowWholeDecodes();
    QImageReader reader(&device);
    // A file's name says nothing to trust: its content decides, which asks every image plugin. The game's
    // own pictures (resources, ":/...") go by their names, so that start-up loads only the decoder it uses.
    const auto* file = qobject_cast<const QFile*>(&device);
    reader.setDecideFormatFromContent(file == nullptr || !file->fileName().startsWith(u':'));
    reader.setAutoTransform(false);
    if (!isRasterFormat(reader.format())) {
        return {};
    }
    QSize original = reader.size();
    if (!claimedSizeAcceptable(reader, original)) {
        return {};
    }
    if (original.isEmpty()) {
        original = QSize(); // a header claiming no width or height says nothing; the decoded size tells
    } else if (const QSize scaled = decodeSize(reader, original, neededLongSide); scaled != original) {
        reader.setScaledSize(scaled);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    const QSize extentPixels = original.isValid() ? original : image.size();
    image = fitWithinDecodedSide(std::move(image));
    return {image.convertToFormat(QImage::Format_ARGB32_Premultiplied), extentOfPixels(extentPixels)};
}

Picture loadRasterPicture(const QString& path, int neededLongSide) {
    const std::unique_ptr<QFile> file = openRegularFile(path);
    return file ? loadRasterPicture(*file, neededLongSide) : Picture();
}

} // namespace platform
