// Every picture format the helper reads: one table from what a file's first bytes say to the reader that
// decodes it, each giving the same result.
#pragma once

#include "photos.h"

#include <optional>

namespace decoder {

using Decoded = std::optional<platform::Picture>;

struct Format {
    const char* name;
    bool (*recognises)(Bytes file);
    // The picture in sRGB, with the extent of the original, at no more than longSide on its long side
    // (a JPEG at the scale its decoder reaches nearest above it, metafiles at the size their extent gives);
    // empty for a file it cannot decode.
    Decoded (*decode)(Bytes file, int longSide);
    bool needsGui; // Qt's image plugins, fonts or its SVG renderer: a QGuiApplication must exist
};

// The format the file's content shows, the first row of the table that recognises it; the last row, Qt's
// image plugins asked by content, takes any file.
const Format& formatOf(Bytes file);

// The file through its format's reader, at no more than longSide on its long side.
Decoded decode(Bytes file, int longSide);

} // namespace decoder
