// The puzzle's state as a plain value and the rules over it: layout, moves, slide frames and the solved test.
#pragma once

#include "sizes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {

inline constexpr int kCells = 11;        // the board table is always 11 x 11; only the N x N corner plays
inline constexpr int kTileCount = 100;   // tile boxes Picture1(0..99)
inline constexpr int kBoardOrigin = 240; // twips: top-left of the board, the same place as the preview
inline constexpr int kBoardSpan = 6015;  // twips: the preview's side, shared out among N tiles
inline constexpr int kTileGap = 20;      // twips between neighbouring tiles
inline constexpr int kSlideSteps = 200;  // mySlideSteps: divisor from tile pitch to a player's slide step

using Cells = std::array<std::array<std::int16_t, kCells>, kCells>; // [column x][row y]

// The window's game state. The romanised names are the game's own and are kept for that reason.
struct Board {
    std::int16_t myGridN = 0;    // N, the grid size of the game last started
    std::int16_t myTileSize = 0; // tile pitch in twips
    Cells myBoard{};             // tile index standing in each cell
    std::int16_t myBlankX = 0;   // the empty cell; the value myBoard holds there means nothing
    std::int16_t myBlankY = 0;
};

// Direction codes name the side of the empty cell a tile slides in from; 1/2 and 3/4 undo each other.
enum Direction : std::int16_t {
    kNone = 0,
    kFromAbove = 1, // the tile above slides down
    kFromBelow = 2, // the tile below slides up
    kFromLeft = 3,  // the tile on the left slides right
    kFromRight = 4, // the tile on the right slides left
};

struct Cell {
    int x = 0;
    int y = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
};

struct TilePlace {
    int left = 0; // twips
    int top = 0;
    int side = 0; // width and height of the box
};

// Tile pitch: 6015 / N to the nearest twip, halves to even (6015 / 6 gives 1002).
std::int16_t tilePitch(int n);
// The home cell of tile k: (k mod N, k div N).
Cell homeCell(int k, int n);
// Where a tile box standing in cell c is placed, for the tile pitch: the board's origin plus whole pitches,
// each box a gap narrower than the pitch.
TilePlace cellPlace(Cell c, int pitch);

// myShokika (初期化, lays the tiles out): the home arrangement in the N x N corner; cells outside keep their
// values.
void myShokika(Board& board);

bool isOpposite(int d, int previous);
// A code is refused when the empty cell lies on the edge it would take a tile from.
bool isRefused(const Board& board, int d);
Cell movingCell(const Board& board, int d);
// The board after a move: the tile enters the empty cell, its old cell holds 0. Returns the index of the tile
// that moved, or nothing for a refused code, which leaves the board as it was.
std::optional<int> applyMove(Board& board, int d);
// The axis offsets a slide passes through (the frames), before the exact final placement.
std::vector<int> frameOffsets(int d, int tileSize, int step);
// +1 when the tile's coordinate grows (codes 1 and 3), -1 when it shrinks; vertical for codes 1 and 2.
int slideSign(int d);
bool slidesVertically(int d);

// Solved when every cell but the bottom-right one holds its home tile.
bool isSolved(const Board& board);

// Boards as text for tests and messages: rows separated by " / ", "_" for the empty cell.
std::string boardToText(const Board& board);
// The board a text describes. Anything that is not a board (ragged rows, a size outside 2..10, a tile
// missing, doubled or out of range, no empty cell or two) throws std::invalid_argument naming the fault.
Board boardFromText(const std::string& text, int tileSize = 0);

} // namespace engine
