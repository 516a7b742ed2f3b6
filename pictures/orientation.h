// How a picture is stored against how it is seen: the orientation of EXIF and of TIFF's own tag (274), read
// from the bytes that carry it and applied to the decoded pixels.
#pragma once

#include <QImage>
#include <cstdint>
#include <span>

class QIODevice;

namespace pictures {

// 1 to 8 as EXIF and TIFF number them: 1 as stored, 2 mirrored left to right, 3 turned half a turn, 4
// mirrored top to bottom, 5 mirrored about the diagonal, 6 stored a quarter turn anticlockwise (turned
// clockwise to be seen), 7 mirrored about the other diagonal, 8 stored a quarter turn clockwise.
inline bool exchangesSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The picture as it is to be seen; anything but 2 to 8 leaves it as it is.
QImage turnedUpright(QImage image, int orientation);

// The orientation an EXIF block gives (a TIFF header and its first directory, after an "Exif\0\0" prefix
// or without one), or 0 where it gives none or cannot be read.
int exifOrientation(std::span<const unsigned char> exif);

// The EXIF orientation a PNG (its eXIf chunk) or a WebP (its EXIF chunk) carries, found by stepping over
// the file's chunks from the start of a random-access device, which is left where it stood; 0 for none,
// for any other format, and for a device that cannot seek.
int containerOrientation(QIODevice& device, const QByteArray& format);

} // namespace pictures
