// PNG files whose chunks Qt's reader would take the slow way through.
#pragma once

#include <QByteArray>

namespace pictures {

// The PNG file cut before the first chunk after its image data whose length runs past the file's end, with
// the end chunk (IEND) put there instead; any other file as it is. Once the image is read, Qt's reader makes
// up the bytes that libpng asks for past the file's end (its own workaround for files without their last
// checksum): for a text chunk claiming up to 2 GB, libpng allocated and cleared a buffer that large and
// filled it before it gave up on the picture, which a viewer shows whole.
QByteArray pngCutAtRunawayChunk(const QByteArray& png);

} // namespace pictures
