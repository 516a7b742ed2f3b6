// The puzzle's state as a plain value and the rules over it: layout, moves, slide frames and the solved test.
#pragma once

#include "sizes.h"

#include <array>
#include <cstdint>
#include <optional>
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

// Everything the game knows of one direction: the tile that moves, how it slides, and the keys that ask
// for it (a key names the way the tile travels: the left arrow takes the tile right of the empty cell).
struct DirectionRule {
    Direction code;
    int dx; // the moving tile's cell, from the empty cell
    int dy;
    Direction opposite;      // the code that undoes it
    bool vertical;           // the slide's axis
    int sign;                // +1 when the tile's coordinate grows during the slide
    std::array<int, 3> keys; // virtual-key codes: the arrow, the keypad digit, the top-row digit
};
inline constexpr std::array<DirectionRule, 4> kDirections{{
    {kFromAbove, 0, -1, kFromBelow, true, +1, {40, 98, 50}},  // down arrow, keypad 2, 2
    {kFromBelow, 0, +1, kFromAbove, true, -1, {38, 104, 56}}, // up arrow, keypad 8, 8
    {kFromLeft, -1, 0, kFromRight, false, +1, {39, 102, 54}}, // right arrow, keypad 6, 6
    {kFromRight, +1, 0, kFromLeft, false, -1, {37, 100, 52}}, // left arrow, keypad 4, 4
}};
// The rule of a code 1..4; nothing for kNone or any other value.
const DirectionRule* ruleOf(int d);
// The code a key asks for, or kNone for a key that names no way.
Direction directionOfKey(int virtualKeyCode);

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

// A tile's slide as the window shows it: the coordinate on the slide's axis at each frame, then where it
// stands exactly once the slide has ended.
struct Slide {
    bool vertical = false;
    std::vector<int> frames;
    int end = 0;
};
// The slide of code d for a tile whose coordinate on the axis is from, at this pitch and step.
Slide slideOf(int d, int from, int pitch, int step);

// Solved when every cell but the bottom-right one holds its home tile.
bool isSolved(const Board& board);

} // namespace engine
