// A picture as the game holds it: pixels to draw from and the extent of the original in HiMetric units.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <memory>

class QFile;
class QIODevice;

namespace platform {

inline constexpr int kMaxDecodedSide = 4096; // pictures are decoded no larger than this on their long side
// A picture claiming more pixels than this is refused from its header, before anything is allocated.
// The bound leaves room for the largest camera sensors (about 100 megapixels).
inline constexpr qint64 kMaxSourcePixels = 120'000'000;
// Formats that cannot decode scaled down are decoded whole first; this bounds that whole decode.
inline constexpr qint64 kMaxUnscaledPixels = 64'000'000;

class Picture {
public:
    Picture() = default; // no picture held
    Picture(QImage image, QSizeF extentHiMetric);

    bool isEmpty() const { return m_image.isNull(); }
    double width() const { return m_extent.width(); } // HiMetric (0.01 mm)
    double height() const { return m_extent.height(); }
    const QImage& image() const { return m_image; }

    // The source rectangle of a draw, given in twips of the picture's own extent, in image pixels.
    QRectF sourcePixels(const QRectF& twips) const;

private:
    QImage m_image;
    QSizeF m_extent;
};

// Opens a file for reading only when it is a regular file (or a Qt resource): a pipe, a device or a
// directory, which a drop can name as easily as a picture, would block the game or feed it endlessly.
std::unique_ptr<QFile> openRegularFile(const QString& path);

// Raster pictures (JPEG, GIF, BMP, ICO, PNG and whatever else Qt reads), decided by content, not by name.
// Pictures larger than the display needs are decoded scaled down, to a long side of at least
// neededLongSide (a JPEG at the nearest size its decoder reaches by itself, 1/2, 1/4 or 1/8), and keep the
// extent of the original. Empty on failure.
Picture loadRasterPicture(const QString& path, int neededLongSide = kMaxDecodedSide);
Picture loadRasterPicture(QIODevice& device, int neededLongSide = kMaxDecodedSide);
Picture rasterPictureFromImage(const QImage& image); // extent at 96 dpi

} // namespace platform
