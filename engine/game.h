// The game between the board rules and the window: one game's board, its phase (shuffling, playing, solved),
// its clock and the time it offers the ranking. The window asks it what to do and animates the answers.
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

class Game {
public:
    Game() = default;
    // A game standing at this board, for tests: boards written as text.
    explicit Game(Board board) : m_board(board) {}

    // Fixes N and the tile pitch, lays the tiles out home with the empty cell bottom-right, and returns the
    // directions of the shuffle. The board stays home: each shuffle move is applied as the window shows it.
    std::vector<int> start(int n, const UniformDraw& draw);
    // After the shuffle: the clock starts at now and the player's input counts.
    void begin(std::chrono::milliseconds now);
    // A picture chosen in the dialog ends the game without finishing it.
    void stop() { m_playing = false; }

    const Board& board() const { return m_board; }
    int gridSize() const { return m_board.myGridN; }
    int missingTile() const { return m_board.myGridN * m_board.myGridN - 1; }
    Layout layout() const;

    bool playing() const { return m_playing; }
    bool shuffling() const { return m_shuffling; }
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }
    // Clicks and keys move tiles only in a running game and never in the middle of another move.
    bool takesInput() const { return m_playing && !m_busy && !m_shuffling; }

    // The move a direction code makes on the board as it stands, or none at the edge it would take a tile
    // from.
    std::optional<Move> moveFor(int direction) const;
    // Writes a move into the board: called once its slide has ended.
    void apply(const Move& move);
    // The direction a click on a tile asks for, or kNone when it does not border the empty cell.
    int directionForClick(int tile) const;
    // The step of a player's slide in twips.
    int playerStep() const;

    // The solved test after a player's input: a solved board ends the game at now. True only then.
    bool finishIfSolved(std::chrono::milliseconds now);
    // The clock's "mm:ss" at now, or none when no game is running (the display keeps what it showed).
    std::optional<std::string> tick(std::chrono::milliseconds now);
    // The time a finished game enters the ranking with, "mm:ss": what the clock showed last, unless it showed
    // nothing of this game yet. A game of an hour or more gets none: "mm:ss" cannot hold it.
    std::optional<std::string> rankedTime() const;

private:
    Board m_board;
    bool m_playing = false;
    bool m_shuffling = false;
    bool m_busy = false;
    std::chrono::milliseconds m_startTime{0};
    std::int64_t m_finishedSeconds = 0;
    std::optional<std::int64_t> m_shownSeconds; // what the clock last showed of this game
};

} // namespace engine
