// What the decoder reads of a HEIF file's boxes itself, beside libheif.
#pragma once

#include "photos.h"

#include <cstdint>

namespace decoder {

// The bytes at that place, big-endian, as an unsigned number; the caller makes sure they are in the file.
std::uint64_t bigEndian(Bytes file, std::size_t at, int bytes);

// Whether the primary picture's own properties turn or mirror it (irot, imir): libheif then applies them as
// it decodes, and an EXIF orientation, which phones leave in the file as the camera wrote it, is not applied
// a second time. A turn that belongs to another item (a thumbnail, say) leaves the picture to its EXIF block.
// Any bytes may come: a box that reaches past its parent ends the reading.
bool primaryItemTurns(Bytes file);

} // namespace decoder
