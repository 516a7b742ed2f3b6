// The decoder helper's metafile decoders, each from the whole file in memory to pixels and a natural extent.
#pragma once

#include "format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace metafile {

struct Rendered {
    Extent extent;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // width * height, row after row
};

// libwmf through its gd device. The extent is the placeable header's, or libwmf's own measure without one.
std::optional<Rendered> renderWmf(std::span<const unsigned char> file);
// libemf2svg, drawn with QSvgRenderer; needs a QGuiApplication for its text. The extent is rclFrame's.
std::optional<Rendered> renderEmf(std::span<const unsigned char> file);

} // namespace metafile
