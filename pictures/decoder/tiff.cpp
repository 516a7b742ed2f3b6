// TIFF through libtiff's RGBA reader, which takes every photometric interpretation, sample depth 1, 2, 4, 8
// and 16, and strips or tiles, contiguous or planar, where Qt's plugin refuses many and draws planar pictures
// wrong; other depths, floating-point samples and CMYK with its own profile are read by tiffsamples.h. The
// file is read from memory, never from a temporary copy; its ICC profile and its orientation tag are applied
// here.
#include "colour.h"
#include "orientation.h"
#include "photos.h"
#include "raster.h"
#include "tiffsamples.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tiffio.h>

namespace decoder {

namespace {
struct Memory {
    Bytes file;
    toff_t at = 0;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    auto* m = static_cast<Memory*>(handle);
    if (size < 0 || m->at >= m->file.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(std::size_t(size), m->file.size() - m->at);
    std::memcpy(buffer, m->file.data() + m->at, n);
    m->at += n;
    return tmsize_t(n);
}
tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* m = static_cast<Memory*>(handle);
    const toff_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->file.size() : 0;
    m->at = base + offset; // reads past the end read nothing
    return m->at;
}
int closeNothing(thandle_t) {
    return 0;
}
toff_t sizeOf(thandle_t handle) {
    return static_cast<Memory*>(handle)->file.size();
}
// The whole file is in memory already: libtiff reads it in place.
int mapMemory(thandle_t handle, void** base, toff_t* size) {
    auto* m = static_cast<Memory*>(handle);
    *base = const_cast<unsigned char*>(m->file.data());
    *size = m->file.size();
    return 1;
}
void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffClose {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct RgbaEnd {
    void operator()(TIFFRGBAImage* i) const { TIFFRGBAImageEnd(i); }
};

QByteArray iccProfileOf(TIFF* tiff) {
    uint32_t size = 0;
    void* data = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &data) != 1 || data == nullptr) {
        return {};
    }
    return QByteArray(static_cast<const char*>(data), qsizetype(size));
}

// The picture as stored, through libtiff's RGBA reader; null where the reader refuses it or the data is
// damaged.
QImage readThroughRgba(TIFF* tiff) {
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    char message[1024] = {};
    if (TIFFRGBAImageOK(tiff, message) != 1) {
        return {};
    }
    // libtiff's reader would mirror the picture for its orientation but not turn it: it is read as stored and
    // turned by the caller, all eight ways alike.
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFRGBAImage rgba{};
    if (TIFFRGBAImageBegin(&rgba, tiff, 0, message) != 1) {
        return {};
    }
    const std::unique_ptr<TIFFRGBAImage, RgbaEnd> reader(&rgba);
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    // One 32-bit word a pixel, R in its low byte: Qt's RGBA8888 on a little-endian machine, with the alpha
    // premultiplied as libtiff gives it.
    QImage image(int(width), int(height),
                 Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? QImage::Format_RGBA8888_Premultiplied
                                                 : QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.bytesPerLine() != qsizetype(width) * 4) {
        return {};
    }
    if (TIFFRGBAImageGet(&rgba, reinterpret_cast<uint32_t*>(image.bits()), width, height) != 1) {
        return {}; // damaged data
    }
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        image =
            std::move(image).rgbSwapped(); // ABGR in a big-endian word: the red and blue swapped from ARGB
    }
    return image;
}
} // namespace

std::optional<platform::Picture> decodeTiff(Bytes file, int longSide) {
    // Its messages would go to a standard error that no one reads.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    Memory memory{file, 0};
    const std::unique_ptr<TIFF, TiffClose> tiff(TIFFClientOpen("picture", "r", &memory, readMemory,
                                                               writeNothing, seekMemory, closeNothing, sizeOf,
                                                               mapMemory, unmapNothing));
    if (!tiff) {
        return std::nullopt;
    }
    uint32_t width = 0, height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    // The reader is whole in memory: a picture with more pixels than an unscaled decode may hold is refused
    // from its header.
    if (width == 0 || height == 0 || qint64(width) * height > platform::kMaxUnscaledPixels) {
        return std::nullopt;
    }
    const QByteArray icc = iccProfileOf(tiff.get());
    // Samples read as stored come out in sRGB already; libtiff's reader gives them as stored, converted
    // once they are scaled.
    const QImage image = needsOwnSampleReading(tiff.get(), icc)
                             ? pictures::fitted(readTiffSamples(tiff.get(), icc), longSide)
                             : pictures::toSrgb(pictures::fitted(readThroughRgba(tiff.get()), longSide), icc);
    if (image.isNull()) {
        return std::nullopt;
    }
    const QSize stored{int(width), int(height)};
    return platform::Picture(
        pictures::turnedUpright(image, orientation),
        platform::extentOfPixels(pictures::exchangesSides(orientation) ? stored.transposed() : stored));
}

} // namespace decoder
