// TIFF pictures that libtiff's RGBA reader cannot take: samples of 12 bits (or any other depth up to 16 that
// is not a power of two) and floating-point samples. Their strips or tiles are read as stored, and every
// pixel is converted to sRGB as it is read.
#pragma once

#include <QByteArray>
#include <QImage>
#include <tiffio.h>

namespace decoder {

// Whether the open TIFF's first directory needs reading here rather than through libtiff's RGBA reader.
bool needsOwnSampleReading(TIFF* tiff, const QByteArray& iccProfile);

// The whole picture as stored (not yet turned), in sRGB: integer samples through the file's ICC profile
// where it describes their colours, floating-point ones as linear light unless a profile says otherwise. Null
// where the layout is not one this reads (grey or RGB, an alpha sample besides) or the data is damaged.
QImage readTiffSamples(TIFF* tiff, const QByteArray& iccProfile);

} // namespace decoder
