// Pictures in their true colours: whatever colour space a file describes is turned into sRGB once, when it
// is loaded, so that the preview and every tile paint the same converted pixels.
#pragma once

#include <QByteArray>
#include <QImage>

namespace pictures {

// The colour description of HEIF, AVIF and JPEG XL files (ITU-T H.273): 2 means "unspecified".
struct Cicp {
    int primaries = 2;
    int transfer = 2;
};

// The image in sRGB, converted from the RGB or grey colour space the ICC profile describes (a grey one for a
// grey image, whose red, green and blue are alike). A profile that cannot be parsed, or that is neither, is
// ignored: the pixels are taken as sRGB already.
QImage toSrgb(QImage image, const QByteArray& iccProfile);
QImage toSrgb(QImage image, Cicp cicp);
// From the colour space a Qt image reader recorded on the image.
QImage toSrgb(QImage image);

} // namespace pictures
