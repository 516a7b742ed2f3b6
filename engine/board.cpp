// The rules of the board: pure functions over the game's state value.
#include "board.h"

#include "rounding.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

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

namespace {

// The rows of a board text: the tokens between the " / " separators.
std::vector<std::vector<std::string>> boardRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        if (token == "/") {
            rows.emplace_back();
        } else {
            rows.back().push_back(token);
        }
    }
    return rows;
}

[[noreturn]] void notABoard(const std::string& text, const std::string& fault) {
    throw std::invalid_argument("not a board: " + fault + " in \"" + text + "\"");
}

// A tile index of an n x n board, or -1 for the empty cell.
int cellToken(const std::string& text, const std::string& token, int n) {
    if (token == "_") {
        return -1;
    }
    const bool digits =
        !token.empty() && token.size() <= 3 && token.find_first_not_of("0123456789") == std::string::npos;
    const int tile = digits ? std::stoi(token) : -2;
    if (tile < 0 || tile > n * n - 2) {
        notABoard(text, "\"" + token + "\" is no tile of a " + std::to_string(n) + " x " + std::to_string(n) +
                            " board");
    }
    return tile;
}

} // namespace

Board boardFromText(const std::string& text, int tileSize) {
    const std::vector<std::vector<std::string>> rows = boardRows(text);
    const int n = static_cast<int>(rows.size());
    if (n < 2 || n > kCells - 1) {
        notABoard(text, std::to_string(n) + " rows, not 2 to 10");
    }
    Board b;
    b.myGridN = static_cast<std::int16_t>(n);
    std::vector<int> seen(static_cast<std::size_t>(n * n - 1), 0);
    int blanks = 0;
    for (int y = 0; y < n; ++y) {
        const auto& row = rows[static_cast<std::size_t>(y)];
        if (static_cast<int>(row.size()) != n) {
            notABoard(text, "row " + std::to_string(y + 1) + " has " + std::to_string(row.size()) +
                                " cells, not " + std::to_string(n));
        }
        for (int x = 0; x < n; ++x) {
            const int tile = cellToken(text, row[static_cast<std::size_t>(x)], n);
            if (tile < 0) {
                ++blanks;
                b.myBlankX = static_cast<std::int16_t>(x);
                b.myBlankY = static_cast<std::int16_t>(y);
            } else {
                ++seen[static_cast<std::size_t>(tile)];
                b.myBoard[x][y] = static_cast<std::int16_t>(tile);
            }
        }
    }
    if (blanks != 1) {
        notABoard(text, std::to_string(blanks) + " empty cells, not 1");
    }
    for (int tile = 0; tile < n * n - 1; ++tile) {
        if (seen[static_cast<std::size_t>(tile)] != 1) {
            notABoard(text, "tile " + std::to_string(tile) + " stands " +
                                std::to_string(seen[static_cast<std::size_t>(tile)]) + " times");
        }
    }
    b.myTileSize = static_cast<std::int16_t>(tileSize != 0 ? tileSize : tilePitch(n));
    return b;
}

} // namespace engine
