// Window units: positions and sizes are kept in twips and turned into Qt's logical pixels in one place.
#pragma once

#include <QPoint>
#include <QRect>
#include <QRectF>

namespace platform {

inline constexpr int kTwipsPerPixel = 15; // 1440 twips an inch at 96 logical dots an inch
inline constexpr double kHiMetricPerTwip = 2540.0 / 1440.0;
inline constexpr double kHiMetricPerPixel = 2540.0 / 96.0;

constexpr double twipsToPixels(double twips) {
    return twips / kTwipsPerPixel;
}
constexpr int twipsToPixelsRounded(int twips) {
    // Widget geometry is whole pixels; round half up as the toolkit's own conversion did.
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixelsRounded(left), twipsToPixelsRounded(top), twipsToPixelsRounded(width),
            twipsToPixelsRounded(height)};
}
inline QRectF twipsRectF(double left, double top, double width, double height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

} // namespace platform
