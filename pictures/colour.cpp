// Colour conversion with Little CMS: the same results on every Qt version, whatever its own ICC support.
#include "colour.h"

#include "lcmshandles.h"

#include <QColorSpace>
#include <array>
#include <lcms2.h>
#include <memory>
#include <optional>

namespace pictures {

namespace {
using lcms::Curve;
using lcms::Profile;
using lcms::Transform;

// QImage::Format_ARGB32 is one 32-bit word a pixel: B, G, R, A in memory on a little-endian machine.
constexpr cmsUInt32Number kPixelType = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;

// A grey picture (its red, green and blue alike) through its grey profile: one sRGB colour for each of the
// 256 levels, looked up for every pixel.
QImage convertedGrey(QImage image, cmsHPROFILE source) {
    const Profile srgb(cmsCreate_sRGBProfile());
    const Transform transform(
        cmsCreateTransform(source, TYPE_GRAY_8, srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
    if (!transform) {
        return image;
    }
    std::array<unsigned char, 256> levels{};
    std::array<unsigned char, 256 * 3> colours{};
    for (int i = 0; i < 256; ++i) {
        levels[std::size_t(i)] = static_cast<unsigned char>(i);
    }
    cmsDoTransform(transform.get(), levels.data(), colours.data(), 256);
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::size_t level = std::size_t(qGreen(line[x])) * 3;
            line[x] = qRgba(colours[level], colours[level + 1], colours[level + 2], qAlpha(line[x]));
        }
    }
    image.setColorSpace(QColorSpace::SRgb);
    return image;
}

QImage converted(QImage image, cmsHPROFILE source) {
    if (source != nullptr && cmsGetColorSpace(source) == cmsSigGrayData && !image.isNull()) {
        return convertedGrey(std::move(image), source);
    }
    if (source == nullptr || cmsGetColorSpace(source) != cmsSigRgbData || image.isNull()) {
        return image;
    }
    const Profile srgb(cmsCreate_sRGBProfile());
    const Transform transform(cmsCreateTransform(source, kPixelType, srgb.get(), kPixelType,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA));
    if (!transform) {
        return image;
    }
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    QImage out(image.size(), QImage::Format_ARGB32);
    if (out.isNull()) {
        return image;
    }
    for (int y = 0; y < image.height(); ++y) {
        cmsDoTransform(transform.get(), image.constScanLine(y), out.scanLine(y),
                       cmsUInt32Number(image.width()));
    }
    out.setColorSpace(QColorSpace::SRgb);
    return out;
}

// H.273's parametric transfer functions, as Little CMS's type 4: Y = (aX + b)^g above d, cX below.
Curve transferCurve(int transfer) {
    switch (transfer) {
    case 1:
    case 6:
    case 14:
    case 15: { // BT.709 and its relatives
        const cmsFloat64Number p[] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return {cmsBuildParametricToneCurve(nullptr, 4, p), {}};
    }
    case 8:
        return {cmsBuildGamma(nullptr, 1.0), {}};
    case 4:
        return {cmsBuildGamma(nullptr, 2.2), {}};
    case 5:
        return {cmsBuildGamma(nullptr, 2.8), {}};
    default: { // sRGB (13), and what this game cannot show otherwise (PQ, HLG): taken as sRGB's curve
        const cmsFloat64Number p[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return {cmsBuildParametricToneCurve(nullptr, 4, p), {}};
    }
    }
}

struct Primaries {
    cmsCIExyYTRIPLE rgb;
    cmsCIExyY white;
};
constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

std::optional<Primaries> primariesOf(int code) {
    switch (code) {
    case 1:
        return Primaries{{{0.640, 0.330, 1}, {0.300, 0.600, 1}, {0.150, 0.060, 1}}, kD65}; // BT.709, sRGB
    case 5:
        return Primaries{{{0.640, 0.330, 1}, {0.290, 0.600, 1}, {0.150, 0.060, 1}}, kD65}; // BT.601 625
    case 6:
    case 7:
        return Primaries{{{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}}, kD65}; // BT.601 525
    case 9:
        return Primaries{{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}}, kD65}; // BT.2020
    case 11:
        return Primaries{{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, {0.314, 0.351, 1}}; // DCI
    case 12:
        return Primaries{{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kD65}; // Display P3
    default:
        return std::nullopt;
    }
}
} // namespace

QImage toSrgb(QImage image, const QByteArray& iccProfile) {
    if (iccProfile.isEmpty()) {
        return image;
    }
    const Profile source(cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size())));
    return converted(std::move(image), source.get());
}

QImage toSrgb(QImage image, Cicp cicp) {
    const bool srgbPrimaries = cicp.primaries == 1 || cicp.primaries == 2;
    const bool srgbTransfer = cicp.transfer == 13 || cicp.transfer == 2;
    const std::optional<Primaries> primaries = primariesOf(cicp.primaries == 2 ? 1 : cicp.primaries);
    if ((srgbPrimaries && srgbTransfer) || !primaries) {
        return image;
    }
    const auto curve = transferCurve(cicp.transfer);
    if (!curve) {
        return image;
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const Profile source(cmsCreateRGBProfile(&primaries->white, &primaries->rgb, curves));
    return converted(std::move(image), source.get());
}

QImage toSrgb(QImage image) {
    const QColorSpace space = image.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) {
        return image;
    }
    return toSrgb(std::move(image), space.iccProfile());
}

} // namespace pictures
