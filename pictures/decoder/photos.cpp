// Which reader a picture goes to, and the size it comes back at.
#include "photos.h"

#include "raster.h"

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

// An ISO base media file starts with its ftyp box: the major brand, then the brands it is compatible with.
Photo isoBrand(Bytes file) {
    if (!bytesAt(file, 4, "ftyp") || file.size() < 16) {
        return Photo::None;
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
        return Photo::Avif;
    }
    for (const char* brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"}) {
        if (has(brand)) {
            return Photo::Heif;
        }
    }
    return Photo::None;
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

} // namespace

Photo photoKind(Bytes file) {
    if (const Photo iso = isoBrand(file); iso != Photo::None) {
        return iso;
    }
    if (bytesAt(file, 0, "\xFF\x0A") || bytesAt(file, 0, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12))) {
        return Photo::JpegXl;
    }
    return looksLikeSvg(file) ? Photo::Svg : Photo::None;
}

std::optional<platform::Picture> decodePicture(const QByteArray& file, int longSide) {
    const Bytes bytes(reinterpret_cast<const unsigned char*>(file.constData()), std::size_t(file.size()));
    std::optional<platform::Picture> picture;
    switch (photoKind(bytes)) {
    case Photo::Heif:
        picture = decodeHeif(bytes, longSide);
        break;
    case Photo::Avif:
        picture = decodeAvif(bytes, longSide);
        break;
    case Photo::JpegXl:
        picture = decodeJpegXl(bytes, longSide);
        break;
    case Photo::Svg:
        return drawSvg(file, longSide);
    case Photo::None: {
        QByteArray copy = file;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        platform::Picture raster = pictures::loadRasterPicture(buffer, longSide);
        if (!raster.isEmpty()) {
            picture = std::move(raster);
        }
        break;
    }
    }
    if (!picture || picture->isEmpty()) {
        return std::nullopt;
    }
    return platform::Picture(pictures::fitted(picture->image(), longSide),
                             QSizeF(picture->width(), picture->height()));
}

} // namespace decoder
