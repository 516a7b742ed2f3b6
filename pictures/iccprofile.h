// A JPEG's ICC profile, which the ICC's rule splits over as many APP2 segments as it needs (a print profile
// of half a megabyte takes nine), each numbered with its place and the count.
#pragma once

#include <QByteArray>
#include <QList>

class QIODevice;

namespace pictures {

// The profile the APP2 segments' payloads (each as it follows the segment's length) put together in the
// order of their sequence numbers, whatever order the file has them in. Segments that are not ICC_PROFILE
// ones are passed over. Empty where the profile's segments disagree on their count, repeat or miss a
// number: a profile with a piece missing is no profile.
QByteArray assembleIccProfile(const QList<QByteArray>& app2Payloads);

// The ICC profile of the JPEG at the start of a random-access device, from the segments before its first
// scan; the device is left where it stood. Empty for none, or for a device that cannot seek.
QByteArray jpegIccProfile(QIODevice& device);

} // namespace pictures
