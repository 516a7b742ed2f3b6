// TIFF pictures that libtiff's RGBA reader cannot take, or takes wrong: samples of 12 bits (or any other
// depth up to 16 that is not a power of two), floating-point samples, and CMYK inks that carry their own
// ICC profile. Their strips or tiles are read as stored, and every pixel is converted to sRGB as it is read.
#pragma once

#include <QByteArray>
#include <QImage>
#include <tiffio.h>

namespace decoder {

// Whether the open TIFF's first directory needs reading here rather than through libtiff's RGBA reader.
bool needsOwnSampleReading(TIFF* tiff, const QByteArray& iccProfile);

// The whole picture as stored (not yet turned), in sRGB: integer samples through the file's ICC profile
// where it describes their colours, floating-point ones as linear light unless a profile says otherwise, CMYK
// through its profile. Null where the layout is not one this reads (1, 3 or 4 colours, an alpha sample
// besides) or the data is damaged.
QImage readTiffSamples(TIFF* tiff, const QByteArray& iccProfile);

} // namespace decoder
