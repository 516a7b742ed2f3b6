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
// the move before it drawn again. Every draw is made here, in that order, from a board laid out home.
std::vector<int> shuffleMoves(Board board, const UniformDraw& draw);

// The way a key asks a tile to travel; None for a key that names no way.
enum class Travel { None, Left, Up, Right, Down };
// The direction code that moves a tile the way it travels: left takes the tile right of the empty cell.
int directionOfTravel(Travel travel);

// What the player does to the board: clicks tile k, or presses a key.
struct Input {
    enum class Kind { Tile, Key };
    Kind kind = Kind::Key;
    int tile = -1;
    Travel travel = Travel::None;

    static Input click(int tile) { return {Kind::Tile, tile, Travel::None}; }
    static Input key(Travel travel) { return {Kind::Key, -1, travel}; }
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
        NotNow,   // no game, or a shuffle, a move or a picture load under way: the input is dropped
    };
    Kind kind = Kind::NotNow;
    Move move;                    // Kind::Move
    std::optional<Finish> finish; // Kind::NoEffect on a solved board: the game has just ended
};

// The window's commands that wait for a move: Start, and every other one that rewrites what a move relies on.
enum class Command { Start, Other };
enum class Turn {
    Now,   // nothing runs: go ahead
    Later, // a move, a shuffle or a picture load runs: wait until it has ended
    Never, // a Start during the shuffle only repeats what is under way: dropped
};

class Game {
public:
    Game() = default;
    // A game standing at this board, for tests: boards written as text.
    explicit Game(Board board) : m_board(board) {}

    // Fixes N and the tile pitch, lays the tiles out home with the empty cell bottom-right, and returns the
    // directions of the shuffle. The board stays home: each shuffle move is applied as the window shows it.
    std::vector<int> start(int n, const UniformDraw& draw);
    // A shuffle move, as start drew it: the move on the board as it stands, then its application.
    std::optional<Move> moveFor(int direction) const;
    void apply(const Move& move);
    // After the shuffle: the clock starts at now and the player's input counts.
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
    Turn turnFor(Command command) const;

    const Board& board() const { return m_board; }
    int gridSize() const { return m_board.myGridN; }
    int missingTile() const { return m_board.myGridN * m_board.myGridN - 1; }
    Layout layout() const;
    bool playing() const { return m_playing; }
    bool shuffling() const { return m_shuffling; }
    // A move, a shuffle or a picture load runs: window commands wait, the player's input is dropped.
    bool busy() const { return m_moving || m_shuffling || m_loadingPicture; }
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
    bool m_shuffling = false;
    bool m_moving = false;
    bool m_loadingPicture = false;
    std::chrono::milliseconds m_startTime{0};
    std::optional<std::int64_t> m_shownSeconds; // what the clock last showed of this game
};

} // namespace engine
