// The rules of the board: pure functions over the game's state value.
#include "board.h"

#include "rounding.h"

#include <algorithm>

namespace engine {

std::string sizeText(int n) {
    const std::string digits = std::to_string(n);
    return digits + "\xC3\x97" + digits;
}

char sizeAccessKey(int n) {
    return static_cast<char>('0' + n % 10);
}

std::int16_t tilePitch(int n) {
    return static_cast<std::int16_t>(nearest(double(kBoardSpan) / n));
}

Cell homeCell(int k, int n) {
    return {k % n, k / n};
}

TilePlace cellPlace(Cell c, int pitch) {
    return {c.x * pitch + kBoardOrigin, c.y * pitch + kBoardOrigin, pitch - kTileGap};
}

void myShokika(Board& board) {
    const int n = board.myGridN;
    for (int k = 0; k < n * n; ++k) {
        const Cell c = homeCell(k, n);
        board.myBoard[c.x][c.y] = static_cast<std::int16_t>(k);
    }
}

const DirectionRule* ruleOf(int d) {
    for (const DirectionRule& rule : kDirections) {
        if (rule.code == d) {
            return &rule;
        }
    }
    return nullptr;
}

Direction directionOfKey(int virtualKeyCode) {
    for (const DirectionRule& rule : kDirections) {
        if (std::find(rule.keys.begin(), rule.keys.end(), virtualKeyCode) != rule.keys.end()) {
            return rule.code;
        }
    }
    return kNone;
}

bool isOpposite(int d, int previous) {
    const DirectionRule* rule = ruleOf(d);
    return rule && rule->opposite == previous;
}

bool isRefused(const Board& b, int d) {
    const DirectionRule* rule = ruleOf(d);
    if (!rule) {
        return true;
    }
    const int x = b.myBlankX + rule->dx;
    const int y = b.myBlankY + rule->dy;
    return x < 0 || y < 0 || x >= b.myGridN || y >= b.myGridN;
}

Cell movingCell(const Board& b, int d) {
    const DirectionRule* rule = ruleOf(d);
    return rule ? Cell{b.myBlankX + rule->dx, b.myBlankY + rule->dy} : Cell{b.myBlankX, b.myBlankY};
}

std::optional<int> applyMove(Board& b, int d) {
    if (isRefused(b, d)) {
        return std::nullopt;
    }
    const Cell from = movingCell(b, d);
    const std::int16_t t = b.myBoard[from.x][from.y];
    b.myBoard[b.myBlankX][b.myBlankY] = t;
    b.myBoard[from.x][from.y] = 0;
    b.myBlankX = static_cast<std::int16_t>(from.x);
    b.myBlankY = static_cast<std::int16_t>(from.y);
    return t;
}

std::vector<int> frameOffsets(int d, int tileSize, int step) {
    std::vector<int> offsets;
    if (step <= 0) {
        return offsets;
    }
    // A slide from the left counts from 0, every other direction from 1: the frame counts differ by one.
    for (int i = d == kFromLeft ? 0 : 1; i <= tileSize; i += step) {
        offsets.push_back(i);
    }
    return offsets;
}

Slide slideOf(int d, int from, int pitch, int step) {
    const DirectionRule* rule = ruleOf(d);
    if (!rule) {
        return {false, {}, from};
    }
    Slide slide{rule->vertical, frameOffsets(d, pitch, step), from + rule->sign * pitch};
    for (int& offset : slide.frames) {
        offset = from + rule->sign * offset;
    }
    return slide;
}

bool isSolved(const Board& b) {
    const int n = b.myGridN;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const int k = y * n + x;
            if (k != n * n - 1 && b.myBoard[x][y] != k) {
                return false;
            }
        }
    }
    return true;
}

} // namespace engine
