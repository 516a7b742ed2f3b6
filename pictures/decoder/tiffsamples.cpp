#include "tiffsamples.h"

#include "cmykjpeg.h"
#include "lcmshandles.h"

#include <QColorSpace>
#include <QtCore/qfloat16.h>
#include <algorithm>
#include <cstring>
#include <lcms2.h>
#include <memory>
#include <optional>
#include <vector>

namespace decoder {

namespace {
// A strip or tile, all its planes together, is held whole: a file whose blocks are larger than this is
// refused rather than let near the helper's memory limit, whatever its header says of them.
constexpr tmsize_t kMaxBlockBytes = 128 * 1024 * 1024;
// Bytes past a block's end, so that a packed sample's last byte may be read with the two after it.
constexpr std::size_t kPadding = 4;

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, format = SAMPLEFORMAT_UINT, samples = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    int colours = 0; // 1 grey, 3 RGB, 4 CMYK
    bool alpha = false;
    bool premultiplied = false;
    bool floating() const { return format == SAMPLEFORMAT_IEEEFP; }
    int used() const { return colours + (alpha ? 1 : 0); }
    int planes() const { return planar == PLANARCONFIG_SEPARATE ? used() : 1; }
};

int coloursOf(uint16_t photometric, uint16_t inkset) {
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        return 1;
    case PHOTOMETRIC_RGB:
        return 3;
    case PHOTOMETRIC_SEPARATED:
        return inkset == INKSET_CMYK ? 4 : 0;
    default:
        return 0;
    }
}

std::optional<Layout> layoutOf(TIFF* tiff) {
    Layout l;
    uint16_t inkset = INKSET_CMYK, extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &l.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &l.format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkset);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &l.photometric) != 1) {
        return std::nullopt;
    }
    l.colours = coloursOf(l.photometric, inkset);
    const bool depthKnown = l.floating() ? l.bits == 16 || l.bits == 32
                                         : l.format == SAMPLEFORMAT_UINT && l.bits >= 1 && l.bits <= 16;
    if (l.colours == 0 || !depthKnown || l.samples < l.colours || l.width == 0 || l.height == 0) {
        return std::nullopt;
    }
    if (l.samples > l.colours) {
        // As libtiff's own reader takes it: a fourth sample of RGB with no word on it is premultiplied alpha.
        const uint16_t kind = extraCount > 0 && extra != nullptr ? extra[0]
                              : l.colours == 3 && l.samples == 4 ? uint16_t(EXTRASAMPLE_ASSOCALPHA)
                                                                 : uint16_t(EXTRASAMPLE_UNSPECIFIED);
        l.alpha = kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA;
        l.premultiplied = kind == EXTRASAMPLE_ASSOCALPHA;
    }
    return l;
}

// How the picture is cut: strips of whole rows or tiles, each plane of it (for planar files) on its own.
struct Blocks {
    bool tiled = false;
    uint32_t width = 0, height = 0;
    tmsize_t rowBytes = 0;   // of one plane
    tmsize_t planeBytes = 0; // of one plane of one block
};

std::optional<Blocks> blocksOf(TIFF* tiff, const Layout& l) {
    Blocks b;
    b.tiled = TIFFIsTiled(tiff) != 0;
    if (b.tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &b.width);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &b.height);
        b.rowBytes = TIFFTileRowSize(tiff);
        b.planeBytes = TIFFTileSize(tiff);
    } else {
        uint32_t rows = l.height;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
        b.width = l.width;
        b.height = std::min(rows, l.height);
        b.rowBytes = TIFFScanlineSize(tiff);
        b.planeBytes = TIFFStripSize(tiff);
    }
    // libtiff's sizes are 0 where they overflow; the indexing below relies on each row holding its samples.
    const int perRow = l.planar == PLANARCONFIG_SEPARATE ? 1 : l.samples;
    const bool sane = b.width > 0 && b.height > 0 && b.rowBytes > 0 && b.planeBytes > 0 &&
                      b.planeBytes <= kMaxBlockBytes / l.planes() &&
                      qint64(b.rowBytes) * 8 >= qint64(b.width) * perRow * l.bits &&
                      qint64(b.rowBytes) * b.height <= b.planeBytes;
    return sane ? std::optional(b) : std::nullopt;
}

using pictures::lcms::Curve;
using pictures::lcms::Profile;
using pictures::lcms::Transform;

// Floating-point samples with no profile are scene-linear light, by the convention of the programs that write
// them: sRGB's primaries (or plain grey) with a straight tone curve.
Profile linearProfile(int colours) {
    const Curve straight(cmsBuildGamma(nullptr, 1.0));
    if (colours == 1) {
        return Profile(cmsCreateGrayProfile(cmsD50_xyY(), straight.get()));
    }
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE srgb{{0.640, 0.330, 1}, {0.300, 0.600, 1}, {0.150, 0.060, 1}};
    cmsToneCurve* curves[3] = {straight.get(), straight.get(), straight.get()};
    return Profile(cmsCreateRGBProfile(&d65, &srgb, curves));
}

// Every pixel from its samples (each colour 0 to 1, CMYK 0 to 100 as Little CMS takes it, then alpha) to
// 8-bit RGBA in sRGB: through Little CMS where a profile describes the colours or they are linear, as they
// are otherwise.
class Conversion {
public:
    Conversion(const Layout& l, const QByteArray& icc) : m_colours(l.colours) {
        const cmsColorSpaceSignature space = l.colours == 1   ? cmsSigGrayData
                                             : l.colours == 3 ? cmsSigRgbData
                                                              : cmsSigCmykData;
        Profile source(icc.isEmpty() ? nullptr
                                     : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
        if (source && cmsGetColorSpace(source.get()) != space) {
            source.reset(); // a profile of other colours says nothing of these
        }
        if (!source && l.floating() && l.colours != 4) {
            source = linearProfile(l.colours);
        }
        m_needsTransform = source != nullptr || l.colours == 4; // inks have no meaning without a profile
        if (!source) {
            return;
        }
        const int type = l.colours == 1 ? PT_GRAY : l.colours == 3 ? PT_RGB : PT_CMYK;
        const Profile srgb(cmsCreate_sRGBProfile());
        m_transform.reset(cmsCreateTransform(source.get(),
                                             FLOAT_SH(1) | COLORSPACE_SH(type) | EXTRA_SH(1) |
                                                 CHANNELS_SH(l.colours) | BYTES_SH(4),
                                             srgb.get(), TYPE_RGBA_8, INTENT_PERCEPTUAL, 0));
    }
    bool usable() const { return !m_needsTransform || m_transform != nullptr; }

    void toRgba(const float* pixels, unsigned char* out, int count) const {
        const int stride = m_colours + 1;
        if (m_transform) {
            cmsDoTransform(m_transform.get(), pixels, out, cmsUInt32Number(count));
        }
        for (int i = 0; i < count; ++i) {
            const float* p = pixels + std::ptrdiff_t(i) * stride;
            unsigned char* o = out + std::ptrdiff_t(i) * 4;
            if (!m_transform) {
                o[0] = byteOf(p[0]);
                o[1] = byteOf(m_colours == 1 ? p[0] : p[1]);
                o[2] = byteOf(m_colours == 1 ? p[0] : p[2]);
            }
            o[3] = byteOf(p[m_colours]);
        }
    }

private:
    static unsigned char byteOf(float v) { return static_cast<unsigned char>(v * 255.0f + 0.5f); }

    int m_colours;
    bool m_needsTransform = false;
    Transform m_transform;
};

// One sample of a row, as a fraction of its full scale; floating-point samples as they are.
float sampleAt(const unsigned char* row, std::size_t index, const Layout& l) {
    if (l.floating()) {
        if (l.bits == 32) {
            float v = 0;
            std::memcpy(&v, row + index * 4, 4);
            return v;
        }
        qfloat16 half;
        std::memcpy(&half, row + index * 2, 2);
        return float(half);
    }
    if (l.bits == 8) {
        return float(row[index]) / 255.0f;
    }
    if (l.bits == 16) { // libtiff has put them in the machine's byte order
        uint16_t v = 0;
        std::memcpy(&v, row + index * 2, 2);
        return float(v) / 65535.0f;
    }
    // Any other depth is packed most significant bit first, each row starting on a new byte: the sample lies
    // within the three bytes from the one it starts in.
    const std::size_t bit = index * l.bits;
    const unsigned char* at = row + bit / 8;
    const uint32_t window = uint32_t(at[0]) << 16 | uint32_t(at[1]) << 8 | at[2];
    const uint32_t max = (1u << l.bits) - 1;
    return float((window >> (24 - bit % 8 - l.bits)) & max) / float(max);
}

// A pixel's samples, the colours made what the conversion takes: within their range (a float's NaN as 0),
// not premultiplied, grey with black as 0, inks as percentages.
void pixelInto(float* out, const unsigned char* const* rows, uint32_t x, const Layout& l) {
    for (int c = 0; c < l.used(); ++c) {
        const bool planar = l.planar == PLANARCONFIG_SEPARATE;
        out[c] = sampleAt(rows[planar ? c : 0], planar ? x : std::size_t(x) * l.samples + c, l);
        out[c] = out[c] > 0.0f ? std::min(out[c], 1.0f) : 0.0f;
    }
    const float alpha = l.alpha ? out[l.colours] : 1.0f;
    out[l.colours] = alpha;
    for (int c = 0; c < l.colours; ++c) {
        if (l.premultiplied && alpha > 0.0f) {
            out[c] = std::min(out[c] / alpha, 1.0f);
        }
        if (l.photometric == PHOTOMETRIC_MINISWHITE) {
            out[c] = 1.0f - out[c];
        }
        if (l.colours == 4) {
            out[c] *= 100.0f;
        }
    }
}

class Reader {
public:
    Reader(TIFF* tiff, const Layout& l, const Blocks& b, const Conversion& conversion, QImage& image)
        : m_tiff(tiff), m_layout(l), m_blocks(b), m_conversion(conversion), m_image(image),
          m_buffer(std::size_t(b.planeBytes) * std::size_t(l.planes()) + kPadding),
          m_pixels(std::size_t(b.width) * std::size_t(l.colours + 1)) {}

    bool readAll() {
        for (uint32_t y = 0; y < m_layout.height; y += m_blocks.height) {
            for (uint32_t x = 0; x < m_layout.width; x += m_blocks.width) {
                if (!readBlock(x, y)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    bool readBlock(uint32_t x0, uint32_t y0) {
        const uint32_t rows = std::min(m_blocks.height, m_layout.height - y0);
        const uint32_t columns = std::min(m_blocks.width, m_layout.width - x0);
        for (int p = 0; p < m_layout.planes(); ++p) {
            unsigned char* plane = m_buffer.data() + std::size_t(p) * std::size_t(m_blocks.planeBytes);
            const tmsize_t read =
                m_blocks.tiled ? TIFFReadEncodedTile(m_tiff, TIFFComputeTile(m_tiff, x0, y0, 0, uint16_t(p)),
                                                     plane, m_blocks.planeBytes)
                               : TIFFReadEncodedStrip(m_tiff, TIFFComputeStrip(m_tiff, y0, uint16_t(p)),
                                                      plane, m_blocks.planeBytes);
            if (read < tmsize_t(rows) * m_blocks.rowBytes) {
                return false; // damaged, or shorter than its rows
            }
        }
        const unsigned char* rowsOfPlanes[5] = {};
        for (uint32_t r = 0; r < rows; ++r) {
            for (int p = 0; p < m_layout.planes(); ++p) {
                rowsOfPlanes[p] = m_buffer.data() + std::size_t(p) * std::size_t(m_blocks.planeBytes) +
                                  std::size_t(r) * std::size_t(m_blocks.rowBytes);
            }
            const int stride = m_layout.colours + 1;
            for (uint32_t x = 0; x < columns; ++x) {
                pixelInto(m_pixels.data() + std::size_t(x) * stride, rowsOfPlanes, x, m_layout);
            }
            m_conversion.toRgba(m_pixels.data(), m_image.scanLine(int(y0 + r)) + std::size_t(x0) * 4,
                                int(columns));
        }
        return true;
    }

    TIFF* m_tiff;
    const Layout& m_layout;
    const Blocks& m_blocks;
    const Conversion& m_conversion;
    QImage& m_image;
    std::vector<unsigned char> m_buffer;
    std::vector<float> m_pixels;
};
} // namespace

bool needsOwnSampleReading(TIFF* tiff, const QByteArray& iccProfile) {
    uint16_t bits = 8, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK, inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkset);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    const bool rgbaReaderDepth = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    const bool inksWithProfile =
        photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK && pictures::isCmykProfile(iccProfile);
    return format == SAMPLEFORMAT_IEEEFP || !rgbaReaderDepth || inksWithProfile;
}

QImage readTiffSamples(TIFF* tiff, const QByteArray& iccProfile) {
    const std::optional<Layout> layout = layoutOf(tiff);
    if (!layout || layout->planes() > 5) {
        return {};
    }
    const std::optional<Blocks> blocks = blocksOf(tiff, *layout);
    const Conversion conversion(*layout, iccProfile);
    if (!blocks || !conversion.usable()) {
        return {};
    }
    QImage image(int(layout->width), int(layout->height), QImage::Format_RGBA8888);
    if (image.isNull() || !Reader(tiff, *layout, *blocks, conversion, image).readAll()) {
        return {};
    }
    image.setColorSpace(QColorSpace::SRgb);
    return image;
}

} // namespace decoder
