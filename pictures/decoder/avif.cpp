// AVIF through libavif with the dav1d decoder, turned and mirrored as its file says.
#include "colour.h"
#include "photos.h"

#include <avif/avif.h>
#include <memory>

namespace decoder {

namespace {
struct DecoderDestroy {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

// irot turns anticlockwise by a quarter per step, then imir exchanges top and bottom (0) or left and right.
QImage upright(QImage image, const avifImage& avif) {
    if ((avif.transformFlags & AVIF_TRANSFORM_IROT) && avif.irot.angle != 0) {
        image = image.transformed(QTransform().rotate(-90.0 * avif.irot.angle));
    }
    if (avif.transformFlags & AVIF_TRANSFORM_IMIR) {
        // 0 exchanges top and bottom, 1 left and right; libavif 1.0 renamed the field.
#if AVIF_VERSION_MAJOR >= 1
        const bool leftRight = avif.imir.axis == 1;
#else
        const bool leftRight = avif.imir.mode == 1;
#endif
#if QT_VERSION >= QT_VERSION_CHECK(6, 9, 0)
        image = image.flipped(leftRight ? Qt::Horizontal : Qt::Vertical);
#else
        image = image.mirrored(leftRight, !leftRight);
#endif
    }
    return image;
}
} // namespace

std::optional<platform::Picture> decodeAvif(Bytes file) {
    const std::unique_ptr<avifDecoder, DecoderDestroy> decoder(avifDecoderCreate());
    if (!decoder) {
        return std::nullopt;
    }
    decoder->maxThreads = 2;
    decoder->imageSizeLimit =
        uint32_t(platform::kMaxSourcePixels);    // refused from the header, before decoding
    decoder->strictFlags = AVIF_STRICT_DISABLED; // cameras and phones omit boxes that strict readers want
    if (avifDecoderSetIOMemory(decoder.get(), file.data(), file.size()) != AVIF_RESULT_OK ||
        avifDecoderParse(decoder.get()) != AVIF_RESULT_OK ||
        avifDecoderNextImage(decoder.get()) != AVIF_RESULT_OK) {
        return std::nullopt;
    }
    const avifImage& avif = *decoder->image;
    QImage image(int(avif.width), int(avif.height), QImage::Format_ARGB32);
    if (image.isNull()) {
        return std::nullopt;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &avif);
    rgb.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.depth = 8;
    rgb.pixels = image.bits();
    rgb.rowBytes = uint32_t(image.bytesPerLine());
    if (avifImageYUVToRGB(&avif, &rgb) != AVIF_RESULT_OK) {
        return std::nullopt;
    }
    image = avif.icc.size > 0
                ? pictures::toSrgb(std::move(image), QByteArray(reinterpret_cast<const char*>(avif.icc.data),
                                                                qsizetype(avif.icc.size)))
                : pictures::toSrgb(std::move(image), pictures::Cicp{int(avif.colorPrimaries),
                                                                    int(avif.transferCharacteristics)});
    image = upright(std::move(image), avif);
    const QSize size = image.size();
    return platform::Picture(std::move(image), platform::extentOfPixels(size));
}

} // namespace decoder
