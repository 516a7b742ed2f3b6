#include "orientation.h"

#include <QTransform>
#include <cstring>

namespace decoder {

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

} // namespace decoder
