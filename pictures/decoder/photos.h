// The photo formats beyond Qt's image plugins, each through its own Debian library, and SVG drawings:
// from the whole file in memory to an upright picture in sRGB with the extent of the original.
#pragma once

#include "platform/picture.h"

#include <QByteArray>
#include <optional>
#include <span>

namespace decoder {

using Bytes = std::span<const unsigned char>;

// Each is empty for a file it cannot decode whole, or one claiming more than platform::kMaxSourcePixels.
// The pixels come at no more than longSide on their long side, scaled before their colours are converted (a
// phone photo has twenty times the pixels the game shows); the extent is the original's.
std::optional<platform::Picture> decodeHeif(Bytes file, int longSide);   // HEIC and other HEIF: libheif
std::optional<platform::Picture> decodeAvif(Bytes file, int longSide);   // libavif
std::optional<platform::Picture> decodeJpegXl(Bytes file, int longSide); // libjxl
std::optional<platform::Picture> decodeTiff(Bytes file, int longSide);   // libtiff
// SVG is drawn, not decoded: at the long side asked for, its extent from its width and height.
std::optional<platform::Picture> drawSvg(const QByteArray& file, int longSide);

} // namespace decoder
