// 16-bit RGB PNGs with one colour made transparent (a tRNS chunk), which Qt's reader garbles: their
// samples come out mixed up with the alpha it makes of that colour.
#pragma once

#include <QImage>

class QIODevice;

namespace pictures {

// Such a PNG at the start of a random-access device, read whole by Qt's reader without its tRNS chunk and
// made transparent here where a pixel is exactly that colour; null for any other file. The device is left
// where it stood.
QImage readWideRgbPngWithKey(QIODevice& device);

} // namespace pictures
