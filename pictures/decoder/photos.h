// The photo formats beyond Qt's image plugins, each through its own Debian library, and SVG drawings:
// from the whole file in memory to an upright picture in sRGB with the extent of the original.
#pragma once

#include "platform/picture.h"

#include <QByteArray>
#include <optional>
#include <span>

namespace decoder {

using Bytes = std::span<const unsigned char>;

// What a file's first bytes say it is, for the formats that have a reader of their own here.
enum class Photo { None, Heif, Avif, JpegXl, Svg };
Photo photoKind(Bytes file);

// Each is empty for a file it cannot decode whole, or one claiming more than platform::kMaxSourcePixels.
// The pixels come at no more than longSide on their long side, scaled before their colours are converted (a
// phone photo has twenty times the pixels the game shows); the extent is the original's.
std::optional<platform::Picture> decodeHeif(Bytes file, int longSide);   // HEIC and other HEIF: libheif
std::optional<platform::Picture> decodeAvif(Bytes file, int longSide);   // libavif
std::optional<platform::Picture> decodeJpegXl(Bytes file, int longSide); // libjxl
// SVG is drawn, not decoded: at the long side asked for, its extent from its width and height.
std::optional<platform::Picture> drawSvg(const QByteArray& file, int longSide);

// Any picture other than a metafile, at no more than longSide on its long side: the readers above, else
// whichever of Qt's image plugins reads it.
std::optional<platform::Picture> decodePicture(const QByteArray& file, int longSide);

} // namespace decoder
