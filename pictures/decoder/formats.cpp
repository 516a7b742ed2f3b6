// Which reader a picture goes to, and the size it comes back at.
#include "formats.h"

#include "format.h"
#include "pngchunks.h"
#include "raster.h"
#include "render.h"

#include <QBuffer>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>

namespace decoder {

namespace {
bool bytesAt(Bytes file, std::size_t at, std::string_view text) {
    return file.size() >= at + text.size() && std::memcmp(file.data() + at, text.data(), text.size()) == 0;
}

QByteArray bytesOf(Bytes file) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
}

enum class Iso { None, Heif, Avif };

// An ISO base media file starts with its ftyp box: the major brand, then the brands it is compatible with.
Iso isoBrand(Bytes file) {
    if (!bytesAt(file, 4, "ftyp") || file.size() < 16) {
        return Iso::None;
    }
    const std::size_t boxSize = std::min<std::size_t>(
        (std::size_t(file[0]) << 24 | std::size_t(file[1]) << 16 | std::size_t(file[2]) << 8 | file[3]),
        file.size());
    auto has = [&](const char* brand) {
        for (std::size_t at = 8; at + 4 <= boxSize; at += 4) {
            if (at != 12 && bytesAt(file, at, brand)) { // bytes 12 to 15 are the minor version
                return true;
            }
        }
        return false;
    };
    if (has("avif") || has("avis")) {
        return Iso::Avif;
    }
    for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"}) {
        if (has(brand)) {
            return Iso::Heif;
        }
    }
    return Iso::None;
}

bool looksLikeSvg(Bytes file) {
    const std::size_t head = std::min<std::size_t>(file.size(), 4096);
    std::size_t at = bytesAt(file, 0, "\xEF\xBB\xBF") ? 3 : 0;
    while (at < head && std::isspace(file[at])) {
        ++at;
    }
    if (at >= head || file[at] != '<') {
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(file.data()), head);
    return text.find("<svg") != std::string_view::npos;
}

bool isHeif(Bytes file) {
    return isoBrand(file) == Iso::Heif;
}
bool isAvif(Bytes file) {
    return isoBrand(file) == Iso::Avif;
}
bool isJpegXl(Bytes file) {
    return bytesAt(file, 0, "\xFF\x0A") || bytesAt(file, 0, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12));
}
bool isWmf(Bytes file) {
    return metafile::kindOf(file) == metafile::Kind::Wmf;
}
bool isEmf(Bytes file) {
    return metafile::kindOf(file) == metafile::Kind::Emf;
}
bool isJpeg(Bytes file) {
    return bytesAt(file, 0, "\xFF\xD8\xFF");
}
bool isPng(Bytes file) {
    return bytesAt(file, 0, "\x89PNG\r\n\x1A\n");
}
bool isGif(Bytes file) {
    return bytesAt(file, 0, "GIF87a") || bytesAt(file, 0, "GIF89a");
}
bool isBmp(Bytes file) {
    return bytesAt(file, 0, "BM");
}
bool isIco(Bytes file) {
    return bytesAt(file, 0, std::string_view("\0\0\1\0", 4));
}
bool isTiff(Bytes file) { // classic and big TIFF
    for (const char* tiff : {"II*\0", "MM\0*", "II+\0", "MM\0+"}) {
        if (bytesAt(file, 0, std::string_view(tiff, 4))) {
            return true;
        }
    }
    return false;
}
bool anyFile(Bytes) {
    return true;
}

// A metafile's pixels, handed over without a copy.
Decoded pictureOf(std::optional<metafile::Rendered> rendered) {
    if (!rendered) {
        return std::nullopt;
    }
    auto* argb = new std::vector<std::uint32_t>(std::move(rendered->argb));
    const QImage image(
        reinterpret_cast<const uchar*>(argb->data()), rendered->width, rendered->height, rendered->width * 4,
        QImage::Format_ARGB32, [](void* pixels) { delete static_cast<std::vector<std::uint32_t>*>(pixels); },
        argb);
    return platform::Picture(image, QSizeF(rendered->extent.width, rendered->extent.height));
}

Decoded wmf(Bytes file, int) {
    return pictureOf(metafile::renderWmf(file));
}
Decoded emf(Bytes file, int) {
    return pictureOf(metafile::renderEmf(file));
}
Decoded svg(Bytes file, int longSide) {
    return drawSvg(bytesOf(file), longSide);
}

Decoded throughQt(QByteArray bytes, int longSide, const char* format) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    platform::Picture picture = pictures::loadRasterPicture(buffer, longSide, format);
    if (picture.isEmpty()) {
        return std::nullopt;
    }
    return picture;
}

// Through Qt's image readers: in the format the signature named, or, with none, in whichever the content
// shows to any installed image plugin (WebP, TIFF, ...).
template <const char* kFormat> Decoded raster(Bytes file, int longSide) {
    return throughQt(bytesOf(file), longSide, kFormat);
}
constexpr char kJpeg[] = "jpeg", kGif[] = "gif", kBmp[] = "bmp", kIco[] = "ico", kAny[] = "";

Decoded png(Bytes file, int longSide) {
    return throughQt(pictures::pngCutAtRunawayChunk(bytesOf(file)), longSide, "png");
}

// libheif reads what this release's libavif refuses, such as an item's boxes split over two ipma boxes.
Decoded avif(Bytes file, int longSide) {
    Decoded picture = decodeAvif(file, longSide);
    return picture ? picture : decodeHeif(file, longSide);
}

// libtiff's own reader, and what it does not take through Qt's plugin.
Decoded tiff(Bytes file, int longSide) {
    Decoded picture = decodeTiff(file, longSide);
    return picture ? picture : raster<kAny>(file, longSide);
}

// Signatures first that cannot be mistaken for another's; Qt's plugins, asked by content, last.
constexpr Format kFormats[] = {
    {"wmf", isWmf, wmf, false},
    {"emf", isEmf, emf, true},
    {"jpeg", isJpeg, raster<kJpeg>, true},
    {"png", isPng, png, true},
    {"gif", isGif, raster<kGif>, true},
    {"bmp", isBmp, raster<kBmp>, true},
    {"ico", isIco, raster<kIco>, true},
    {"heif", isHeif, decodeHeif, false},
    {"avif", isAvif, avif, false},
    {"jxl", isJpegXl, decodeJpegXl, false},
    {"tiff", isTiff, tiff, true},
    {"svg", looksLikeSvg, svg, true},
    {"qt", anyFile, raster<kAny>, true},
};

} // namespace

const Format& formatOf(Bytes file) {
    for (const Format& format : kFormats) {
        if (format.recognises(file)) {
            return format;
        }
    }
    return kFormats[std::size(kFormats) - 1];
}

Decoded decode(Bytes file, int longSide) {
    Decoded picture = formatOf(file).decode(file, longSide);
    if (!picture || picture->isEmpty()) {
        return std::nullopt;
    }
    return picture;
}

} // namespace decoder
