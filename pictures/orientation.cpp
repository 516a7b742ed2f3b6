#include "orientation.h"

#include <QIODevice>
#include <QTransform>
#include <cstring>

namespace pictures {

QImage turnedUpright(QImage image, int orientation) {
    auto quarter = [](const QImage& i) { return i.transformed(QTransform().rotate(90)); };
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5: // a quarter turn clockwise then mirrored left to right: the diagonal from the top left
        return quarter(image).mirrored(true, false);
    case 6:
        return quarter(image);
    case 7: // a quarter turn clockwise then mirrored top to bottom: the other diagonal
        return quarter(image).mirrored(false, true);
    case 8:
        return image.transformed(QTransform().rotate(-90));
    default:
        return image;
    }
}

int exifOrientation(std::span<const unsigned char> exif) {
    if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0) {
        exif = exif.subspan(6);
    }
    if (exif.size() < 8) {
        return 0;
    }
    const bool little = exif[0] == 'I' && exif[1] == 'I';
    if (!little && !(exif[0] == 'M' && exif[1] == 'M')) {
        return 0;
    }
    auto u16 = [&](std::size_t at) {
        return little ? unsigned(exif[at] | exif[at + 1] << 8) : unsigned(exif[at] << 8 | exif[at + 1]);
    };
    auto u32 = [&](std::size_t at) {
        return little ? std::uint32_t(u16(at) | u16(at + 2) << 16)
                      : std::uint32_t(u16(at) << 16 | u16(at + 2));
    };
    if (u16(2) != 42) {
        return 0;
    }
    const std::uint32_t directory = u32(4);
    if (directory > exif.size() - 2) {
        return 0;
    }
    const unsigned entries = u16(directory);
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t at = directory + 2 + std::size_t(i) * 12;
        if (at + 12 > exif.size()) {
            return 0;
        }
        if (u16(at) == 274 && u16(at + 2) == 3) { // Orientation, a SHORT held in the entry itself
            const unsigned value = u16(at + 8);
            return value >= 1 && value <= 8 ? int(value) : 0;
        }
    }
    return 0;
}

namespace {
// An EXIF block is a few kilobytes; one claiming more is not read.
constexpr quint32 kMaxExifBytes = 1024 * 1024;
// Chunks stepped over before giving up on a file made of nothing else.
constexpr int kMaxChunks = 100000;

quint32 bigEndian32(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) << 24 | quint32(quint8(b[at + 1])) << 16 | quint32(quint8(b[at + 2])) << 8 |
           quint8(b[at + 3]);
}
quint32 littleEndian32(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16 |
           quint32(quint8(b[at + 3])) << 24;
}

int orientationOf(const QByteArray& exif) {
    return exifOrientation(
        {reinterpret_cast<const unsigned char*>(exif.constData()), std::size_t(exif.size())});
}

// PNG: the signature, then chunks of a big-endian length, a type, the data and a checksum, up to IEND.
int pngOrientation(QIODevice& device) {
    qint64 at = 8;
    for (int n = 0; n < kMaxChunks && at + 8 <= device.size() && device.seek(at); ++n) {
        const QByteArray head = device.read(8);
        if (head.size() != 8 || head.endsWith("IEND")) {
            return 0;
        }
        const quint32 length = bigEndian32(head, 0);
        if (head.endsWith("eXIf")) {
            return length <= kMaxExifBytes ? orientationOf(device.read(length)) : 0;
        }
        at += 12 + qint64(length);
    }
    return 0;
}

// WebP: RIFF's header, then chunks of a four-character code, a little-endian length and the data, padded
// to an even length.
int webpOrientation(QIODevice& device) {
    qint64 at = 12;
    for (int n = 0; n < kMaxChunks && at + 8 <= device.size() && device.seek(at); ++n) {
        const QByteArray head = device.read(8);
        if (head.size() != 8) {
            return 0;
        }
        const quint32 length = littleEndian32(head, 4);
        if (head.startsWith("EXIF")) {
            return length <= kMaxExifBytes ? orientationOf(device.read(length)) : 0;
        }
        at += 8 + qint64(length) + (length & 1);
    }
    return 0;
}
} // namespace

int containerOrientation(QIODevice& device, const QByteArray& format) {
    if (device.isSequential() || (format != "png" && format != "webp")) {
        return 0;
    }
    const qint64 was = device.pos();
    const int orientation = format == "png" ? pngOrientation(device) : webpOrientation(device);
    device.seek(was);
    return orientation;
}

} // namespace pictures
