// CMYK JPEGs (print work, and photos saved from it) in the colours their ICC profile gives. Qt's reader
// turns their inks into RGB by a rule of thumb, with no profile, and leaves nothing of the inks to convert
// afterwards; this reads the inks with libjpeg and converts them with Little CMS.
#pragma once

#include <QByteArray>
#include <QImage>

namespace pictures {

// Whether the profile is a valid CMYK one.
bool isCmykProfile(const QByteArray& iccProfile);

// The whole JPEG file decoded at 1/denominator of its size (1, 2, 4 or 8), in sRGB through the CMYK profile
// given; null when the file is not a four-colour JPEG or cannot be decoded whole. Inks written inverted, as
// Adobe's programs and most others write them (their Adobe segment says so), are read as such.
QImage decodeCmykJpeg(const QByteArray& file, int denominator, const QByteArray& iccProfile);

} // namespace pictures
