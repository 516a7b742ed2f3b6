#include "boardtext.h"

#include <sstream>
#include <stdexcept>
#include <vector>

namespace engine {

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
