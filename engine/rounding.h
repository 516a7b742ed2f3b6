// Rounding of real values to whole numbers, as the game does it everywhere: halves go to the even neighbour.
#pragma once

#include <cmath>
#include <cstdint>

namespace engine {

// Written out rather than std::nearbyint, which would silently follow whatever rounding mode is in force.
inline std::int32_t nearest(double v) {
    const double f = std::floor(v);
    const double frac = v - f;
    if (frac > 0.5) {
        return static_cast<std::int32_t>(f) + 1;
    }
    if (frac < 0.5) {
        return static_cast<std::int32_t>(f);
    }
    return static_cast<std::int32_t>(std::fmod(f, 2.0) == 0.0 ? f : f + 1);
}

} // namespace engine
