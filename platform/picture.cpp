// Raster picture loading through QImageReader.
#include "picture.h"

#include "twips.h"

#include <QImageReader>

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

Picture loadRasterPicture(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize original = reader.size();
    if (original.isValid() && (original.width() > kMaxDecodedSide || original.height() > kMaxDecodedSide)) {
        reader.setScaledSize(original.scaled(kMaxDecodedSide, kMaxDecodedSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    const QSize extentPixels = original.isValid() ? original : image.size();
    return {image.convertToFormat(QImage::Format_ARGB32_Premultiplied), extentOfPixels(extentPixels)};
}

} // namespace platform
