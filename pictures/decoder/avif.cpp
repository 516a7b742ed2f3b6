// AVIF through libavif with the dav1d decoder, turned and mirrored as its file says.
#include "colour.h"
#include "photos.h"
#include "raster.h"

#include <avif/avif.h>
#include <cstdint>
#include <memory>
#include <optional>

namespace decoder {

namespace {
struct DecoderDestroy {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};

// How the file says the picture is to be turned: irot a quarter anticlockwise per step, then imir exchanges
// top and bottom (0) or left and right (1).
struct Turn {
    int quarters = 0;
    bool mirrored = false;
    bool leftRight = false;
};

Turn turnOf(const avifImage& avif) {
    Turn turn;
    if (avif.transformFlags & AVIF_TRANSFORM_IROT) {
        turn.quarters = avif.irot.angle;
    }
    if (avif.transformFlags & AVIF_TRANSFORM_IMIR) {
        turn.mirrored = true;
        // libavif 1.0 renamed the field.
#if AVIF_VERSION_MAJOR >= 1
        turn.leftRight = avif.imir.axis == 1;
#else
        turn.leftRight = avif.imir.mode == 1;
#endif
    }
    return turn;
}

// The clean aperture's rectangle in the decoded picture: a width and height, centred on the picture's centre
// moved by an offset, all as fractions. Nothing for a box whose rectangle is not whole pixels within the
// picture; such a box is ignored, as libavif's own tools ignore it.
std::optional<QRect> cleanAperture(const avifCleanApertureBox& clap, QSize decoded) {
    auto whole = [](std::int64_t n, std::int64_t d) -> std::optional<std::int64_t> {
        if (d <= 0 || n % d != 0) {
            return std::nullopt;
        }
        return n / d;
    };
    // The offsets are signed; from the centre, x = offset + (decoded - cropped) / 2, kept exact as
    // (2 * offsetN + (decoded - cropped) * offsetD) / (2 * offsetD).
    const auto w = whole(std::int32_t(clap.widthN), std::int32_t(clap.widthD));
    const auto h = whole(std::int32_t(clap.heightN), std::int32_t(clap.heightD));
    if (!w || !h || *w <= 0 || *h <= 0) {
        return std::nullopt;
    }
    const std::int64_t xd = std::int32_t(clap.horizOffD), yd = std::int32_t(clap.vertOffD);
    const auto x =
        whole(2 * std::int64_t(std::int32_t(clap.horizOffN)) + (decoded.width() - *w) * xd, 2 * xd);
    const auto y =
        whole(2 * std::int64_t(std::int32_t(clap.vertOffN)) + (decoded.height() - *h) * yd, 2 * yd);
    if (!x || !y || *x < 0 || *y < 0 || *x + *w > decoded.width() || *y + *h > decoded.height()) {
        return std::nullopt;
    }
    return QRect(int(*x), int(*y), int(*w), int(*h));
}

QImage upright(QImage image, Turn turn) {
    if (turn.quarters != 0) {
        image = image.transformed(QTransform().rotate(-90.0 * turn.quarters));
    }
    if (turn.mirrored) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 9, 0)
        image = image.flipped(turn.leftRight ? Qt::Horizontal : Qt::Vertical);
#else
        image = image.mirrored(turn.leftRight, !turn.leftRight);
#endif
    }
    return image;
}
} // namespace

std::optional<platform::Picture> decodeAvif(Bytes file, int longSide) {
    std::unique_ptr<avifDecoder, DecoderDestroy> decoder(avifDecoderCreate());
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
    // What the picture needs of the file is taken now, and the decoder and its frames go before the scaling.
    const QByteArray icc(reinterpret_cast<const char*>(avif.icc.data), qsizetype(avif.icc.size));
    const pictures::Cicp cicp{int(avif.colorPrimaries), int(avif.transferCharacteristics)};
    const Turn turn = turnOf(avif);
    // The crop comes first, before the turn and the mirror, as the file's properties are ordered.
    const std::optional<QRect> crop =
        avif.transformFlags & AVIF_TRANSFORM_CLAP ? cleanAperture(avif.clap, image.size()) : std::nullopt;
    decoder.reset();
    if (crop && *crop != image.rect()) {
        image = image.copy(*crop);
    }
    const QSize decoded = image.size();
    image = pictures::fitted(std::move(image), longSide);
    image =
        icc.isEmpty() ? pictures::toSrgb(std::move(image), cicp) : pictures::toSrgb(std::move(image), icc);
    image = upright(std::move(image), turn);
    const QSize size = turn.quarters % 2 == 0 ? decoded : decoded.transposed();
    return platform::Picture(std::move(image), platform::extentOfPixels(size));
}

} // namespace decoder
