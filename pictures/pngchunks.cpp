#include "pngchunks.h"

namespace pictures {

namespace {
constexpr qsizetype kSignature = 8;
// A chunk: its data's length, its type, the data, and a checksum.
constexpr qsizetype kChunkFrame = 12;

qint64 chunkLength(const QByteArray& b, qsizetype at) {
    return qint64(quint8(b[at])) << 24 | qint64(quint8(b[at + 1])) << 16 | qint64(quint8(b[at + 2])) << 8 |
           quint8(b[at + 3]);
}
} // namespace

QByteArray pngCutAtRunawayChunk(const QByteArray& png) {
    bool imageData = false;
    for (qsizetype at = kSignature; at + kChunkFrame <= png.size();) {
        const QByteArray type = png.mid(at + 4, 4);
        const qint64 length = chunkLength(png, at);
        if (type == "IEND") {
            return png;
        }
        if (at + kChunkFrame + length > png.size()) {
            // Before the image data, libpng reads the file itself and stops at its end.
            static const QByteArray kEnd("\0\0\0\0IEND\xAE\x42\x60\x82", kChunkFrame);
            return imageData ? png.left(at) + kEnd : png;
        }
        imageData = imageData || type == "IDAT";
        at += kChunkFrame + qsizetype(length);
    }
    return png;
}

} // namespace pictures
