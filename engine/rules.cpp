// Shuffle draws, input mapping and the clock text.
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

int keyToDirection(int keyCode) {
    switch (keyCode) {
    case 37:
    case 100:
    case 52:
        return kFromRight; // left arrow: the tile right of the gap slides left
    case 38:
    case 104:
    case 56:
        return kFromBelow; // up arrow
    case 39:
    case 102:
    case 54:
        return kFromLeft; // right arrow
    case 40:
    case 98:
    case 50:
        return kFromAbove; // down arrow
    default:
        return kNone;
    }
}

int clickToDirection(const Board& b, int tileIndex) {
    const int n = b.myGridN;
    const int bx = b.myBlankX;
    const int by = b.myBlankY;
    auto holds = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < n && y < n && b.myBoard[x][y] == tileIndex;
    };
    if (holds(bx - 1, by)) {
        return kFromLeft;
    }
    if (holds(bx + 1, by)) {
        return kFromRight;
    }
    if (holds(bx, by - 1)) {
        return kFromAbove;
    }
    if (holds(bx, by + 1)) {
        return kFromBelow;
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
