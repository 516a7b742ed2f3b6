// Raster pictures decoded by Qt's image readers, scaled on decode and turned to sRGB.
#pragma once

#include "platform/picture.h"

#include <QByteArray>

class QIODevice;

namespace pictures {

// A raster picture read from the device in the given format, or, with no format, in whichever format its
// content shows to any image plugin. Pictures larger than the display needs are decoded scaled down, to a
// long side of at least neededLongSide (a JPEG at the nearest size its decoder reaches by itself, 1/2, 1/4
// or 1/8), and keep the extent of the original. The image comes in whichever format the reader gave (an
// opaque picture in one without alpha). Empty on failure.
platform::Picture loadRasterPicture(QIODevice& device, int neededLongSide = platform::kMaxDecodedSide,
                                    const QByteArray& format = {});

// The image scaled down, smoothly, to no more than longSide on its long side, its proportions kept.
QImage fitted(QImage image, int longSide);

} // namespace pictures
