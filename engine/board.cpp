// The rules of the board: pure functions over the game's state value.
#include "board.h"

#include "rounding.h"

#include <sstream>

namespace engine {

std::string sizeText(int n) {
    const std::string digits = std::to_string(n);
    return digits + "\xC3\x97" + digits;
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

bool isOpposite(int d, int previous) {
    switch (d) {
    case kFromAbove:
        return previous == kFromBelow;
    case kFromBelow:
        return previous == kFromAbove;
    case kFromLeft:
        return previous == kFromRight;
    case kFromRight:
        return previous == kFromLeft;
    default:
        return false;
    }
}

bool isRefused(const Board& b, int d) {
    const int last = b.myGridN - 1;
    switch (d) {
    case kFromAbove:
        return b.myBlankY == 0;
    case kFromBelow:
        return b.myBlankY == last;
    case kFromLeft:
        return b.myBlankX == 0;
    case kFromRight:
        return b.myBlankX == last;
    default:
        return true;
    }
}

Cell movingCell(const Board& b, int d) {
    Cell c{b.myBlankX, b.myBlankY};
    switch (d) {
    case kFromAbove:
        --c.y;
        break;
    case kFromBelow:
        ++c.y;
        break;
    case kFromLeft:
        --c.x;
        break;
    case kFromRight:
        ++c.x;
        break;
    default:
        break;
    }
    return c;
}

int applyMove(Board& b, int d) {
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

int slideSign(int d) {
    return d == kFromAbove || d == kFromLeft ? 1 : -1;
}
bool slidesVertically(int d) {
    return d == kFromAbove || d == kFromBelow;
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

std::string boardToText(const Board& b) {
    std::ostringstream out;
    for (int y = 0; y < b.myGridN; ++y) {
        if (y > 0) {
            out << " /";
        }
        for (int x = 0; x < b.myGridN; ++x) {
            out << (x > 0 || y > 0 ? " " : "");
            if (x == b.myBlankX && y == b.myBlankY) {
                out << '_';
            } else {
                out << b.myBoard[x][y];
            }
        }
    }
    return out.str();
}

Board boardFromText(const std::string& text, int tileSize) {
    Board b;
    std::istringstream in(text);
    std::string token;
    int x = 0;
    int y = 0;
    while (in >> token) {
        if (token == "/") {
            ++y;
            x = 0;
            continue;
        }
        if (token == "_") {
            b.myBlankX = static_cast<std::int16_t>(x);
            b.myBlankY = static_cast<std::int16_t>(y);
        } else {
            b.myBoard[x][y] = static_cast<std::int16_t>(std::stoi(token));
        }
        ++x;
        b.myGridN = static_cast<std::int16_t>(std::max<int>(b.myGridN, x));
    }
    b.myTileSize = static_cast<std::int16_t>(tileSize != 0 ? tileSize : tilePitch(b.myGridN));
    return b;
}

} // namespace engine
