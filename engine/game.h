// The game between the board rules and the window, as a puzzle's middle layer: the player's input goes in and
// a move, "no effect" or "not now" comes out. A move is the board's at once; the window only animates the
// tile from where it stood to where the board now has it. The game keeps the board, whether it is playing,
// and the clock; what the window is doing meanwhile (a slide, a picture load, a dialog) is the window's own
// affair.
#pragma once

#include "board.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace engine {

// Uniform values in [0, 1); the game draws from it only while it starts.
using UniformDraw = std::function<double()>;

// One tile leaving its cell for the empty one, by direction code.
struct Move {
    int direction = kNone;
    int tile = 0;
};

// Where every tile box of a game stands when it is home: places[k] for tile k, k = 0 .. N·N-1.
struct Layout {
    int n = 0;
    int pitch = 0;
    std::vector<Cell> cells; // home cell of tile k
    std::vector<TilePlace> places;
};

// The home layout of a grid of n at this pitch.
Layout homeLayout(int n, int pitch);

// The shuffle as drawn: nearest(r·N·N·5 + 100) successful moves, a refused direction or one that would undo
// the move before it drawn again. Every draw is made here, in that order, on the board given, which is left
// shuffled; the codes are returned in the order they were applied.
std::vector<int> shuffleMoves(Board& board, const UniformDraw& draw);

// What the player does to the board: clicks tile k, or presses a key (its virtual-key code).
struct Input {
    enum class Kind { Tile, Key };
    Kind kind = Kind::Key;
    int tile = -1;
    int keyCode = 0;

    static Input click(int tile) { return {Kind::Tile, tile, 0}; }
    static Input key(int virtualKeyCode) { return {Kind::Key, -1, virtualKeyCode}; }
};

// A finished game as the ranking receives it: its size and the time it enters with, "mm:ss". A game of an
// hour or more has no time: "mm:ss" cannot hold it.
struct Finish {
    int size = 0;
    std::optional<std::string> time;
};

struct Answer {
    enum class Kind {
        Move,     // the board has taken this move: animate it
        NoEffect, // nothing moves (a refused direction, a tile away from the gap); the solved test has run
        NotNow,   // no game runs: the input is dropped
    };
    Kind kind = Kind::NotNow;
    Move move;                    // Kind::Move
    std::optional<Finish> finish; // the solved test found the board whole: the game has just ended
};

class Game {
public:
    // A new game: fixes N and the tile pitch, lays the tiles out home with the empty cell bottom-right,
    // shuffles them as drawn, and starts the clock at now. Returns the shuffle's codes in order.
    std::vector<int> start(int n, const UniformDraw& draw, std::chrono::milliseconds now);
    // A picture chosen in the dialog ends the game without finishing it.
    void stop() { m_playing = false; }

    // The one entry for the player's input: the move it makes is applied at once, and the solved test runs
    // on the board as it now stands (a board it finds whole ends the game at now).
    Answer input(const Input& input, std::chrono::milliseconds now);

    const Board& board() const { return m_board; }
    int gridSize() const { return m_board.myGridN; }
    int missingTile() const { return m_board.myGridN * m_board.myGridN - 1; }
    Layout layout() const;
    bool playing() const { return m_playing; }
    // The step of a player's slide in twips.
    int playerStep() const;

    // The clock's "mm:ss" at now, or none when no game is running (the display keeps what it showed).
    std::optional<std::string> tick(std::chrono::milliseconds now);

private:
    int directionFor(const Input& input) const;
    std::optional<Finish> finishIfSolved(std::chrono::milliseconds now);
    std::optional<std::string> rankedTime(std::int64_t finishedSeconds) const;

    Board m_board;
    bool m_playing = false;
    std::chrono::milliseconds m_startTime{0};
    std::optional<std::int64_t> m_shownSeconds; // what the clock last showed of this game
};

} // namespace engine
