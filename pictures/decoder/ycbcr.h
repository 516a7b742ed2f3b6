// A large decoded photo's YCbCr planes brought down to the size the game shows, then turned into RGB: the
// conversion works on the few pixels shown rather than on every pixel of the photo.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>

namespace decoder {

struct Plane {
    const std::uint8_t* data = nullptr;
    int stride = 0;
    QSize size;
};

// How Y, Cb and Cr make R, G and B (ITU-T H.273's matrix coefficients, 1 BT.709, 5 and 6 BT.601, 9
// BT.2020), and whether they take the whole byte or the studio range (16 to 235).
struct YcbcrCoding {
    int matrix = 6;
    bool fullRange = true;
};

// Whether the matrix is one of those above (2, unspecified, is taken as BT.601).
bool knownMatrix(int matrix);

// An RGB picture of `target` size, each pixel the average of the area of the planes it covers (the chroma
// planes may have half the luma's width, or half its width and height); null for a target larger than the
// luma plane or an unknown matrix.
QImage scaledToRgb(const Plane& y, const Plane& cb, const Plane& cr, QSize target, YcbcrCoding coding);

} // namespace decoder
