// A picture as the game holds it: pixels to draw from and the extent of the original in HiMetric units.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class QFile;

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

// What tells one state of a file from another: the same file name, replaced, written to or touched since,
// has another stamp (its change time moves with every write, and no program can set it back).
struct FileStamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the regular file a path names now; nothing for anything else or a missing file.
std::optional<FileStamp> fileStamp(const QString& path);

QSizeF extentOfPixels(QSize pixels); // HiMetric at 96 dpi

} // namespace platform
