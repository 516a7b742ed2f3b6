// The game between the board rules and the window, as a puzzle's middle layer: the player's input goes in and
// a move, "no effect" or "not now" comes out; the move the window has animated goes back in, and the game
// itself reports the finish. It also keeps the phase (shuffling, playing, a move or a picture load under
// way), the clock and the order in which window commands may run.
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

// One tile leaving its cell for the empty one. The board still shows the tile in `from` until it is applied.
struct Move {
    int direction = kNone;
    int tile = 0;
    Cell from;
    Cell to;
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
        Move,     // this move is now under way: animate it, then hand it to Game::moved
        NoEffect, // nothing moves (a refused direction, a tile away from the gap); the solved test has run
        NotNow,   // no game, or a move or a picture load under way: the input is dropped
    };
    Kind kind = Kind::NotNow;
    Move move;                    // Kind::Move
    std::optional<Finish> finish; // Kind::NoEffect on a solved board: the game has just ended
};

// When a window command that rewrites what a move relies on may run.
enum class Turn {
    Now,   // nothing runs: go ahead
    Later, // a move or a picture load runs: wait until it has ended
};

class Game {
public:
    Game() = default;
    // A game standing at this board, for tests: boards written as text.
    explicit Game(Board board) : m_board(board) {}

    // A new game: fixes N and the tile pitch, lays the tiles out home with the empty cell bottom-right,
    // shuffles them as drawn, and starts the clock at now. Returns the shuffle's codes in order.
    std::vector<int> start(int n, const UniformDraw& draw, std::chrono::milliseconds now);
    // The move that code d makes on the board as it stands, if the board allows it.
    std::optional<Move> moveFor(int direction) const;
    // A game standing as it is from now on: the clock starts at now and the player's input counts.
    void begin(std::chrono::milliseconds now);
    // A picture chosen in the dialog ends the game without finishing it.
    void stop() { m_playing = false; }

    // The one entry for the player's input. A move it answers is under way until moved() is called with it.
    Answer input(const Input& input, std::chrono::milliseconds now);
    // The move's slide has ended: the board takes it, and a board it solves ends the game at now.
    std::optional<Finish> moved(const Move& move, std::chrono::milliseconds now);

    // A picture decodes: the player's input waits for nothing meanwhile, it is dropped.
    void setLoadingPicture(bool loading) { m_loadingPicture = loading; }
    // When a window command may run.
    Turn turn() const { return busy() ? Turn::Later : Turn::Now; }

    const Board& board() const { return m_board; }
    int gridSize() const { return m_board.myGridN; }
    int missingTile() const { return m_board.myGridN * m_board.myGridN - 1; }
    Layout layout() const;
    bool playing() const { return m_playing; }
    // A move or a picture load runs: window commands wait, the player's input is dropped.
    bool busy() const { return m_moving || m_loadingPicture; }
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
    bool m_moving = false;
    bool m_loadingPicture = false;
    std::chrono::milliseconds m_startTime{0};
    std::optional<std::int64_t> m_shownSeconds; // what the clock last showed of this game
};

} // namespace engine
