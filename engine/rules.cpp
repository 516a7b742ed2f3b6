// Shuffle draws, clicks and the clock text.
#include "rules.h"

#include "rounding.h"

#include <cstdio>

namespace engine {

int shuffleCount(double r, int n) {
    return nearest(r * n * n * 5 + 100);
}

int shuffleDirection(double r) {
    return nearest(r * 3 + 1);
}

int playerStep(int tileSize) {
    return nearest(double(tileSize) / kSlideSteps);
}

int clickToDirection(const Board& b, int tileIndex) {
    // The neighbours of the empty cell are tried left, right, above, below.
    for (const int d : {kFromLeft, kFromRight, kFromAbove, kFromBelow}) {
        const Cell c = movingCell(b, d);
        if (!isRefused(b, d) && b.myBoard[c.x][c.y] == tileIndex) {
            return d;
        }
    }
    return kNone;
}

std::string clockText(std::int64_t elapsedSeconds) {
    if (elapsedSeconds < 0) {
        elapsedSeconds = 0;
    }
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", int(elapsedSeconds / 60 % 60), int(elapsedSeconds % 60));
    return text;
}

} // namespace engine
