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
