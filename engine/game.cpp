// One game: start and shuffle, the player's moves, the solved test and the clock.
#include "game.h"

#include "rules.h"

namespace engine {

namespace {
constexpr std::int64_t kHour = 3600;

std::int64_t wholeSeconds(std::chrono::milliseconds from, std::chrono::milliseconds to) {
    return std::max<std::int64_t>(std::chrono::duration_cast<std::chrono::seconds>(to - from).count(), 0);
}
} // namespace

std::vector<int> shuffleMoves(Board board, const UniformDraw& draw) {
    const int count = shuffleCount(draw(), board.myGridN);
    std::vector<int> moves;
    moves.reserve(static_cast<std::size_t>(count));
    int previous = kNone; // the first move is free of the no-undo rule
    while (static_cast<int>(moves.size()) < count) {
        const int d = shuffleDirection(draw());
        if (isOpposite(d, previous) || isRefused(board, d)) {
            continue; // drawn again, and a refusal at an edge leaves `previous` as it was
        }
        applyMove(board, d);
        moves.push_back(d);
        previous = d;
    }
    return moves;
}

std::vector<int> Game::start(int n, const UniformDraw& draw) {
    m_board.myGridN = static_cast<std::int16_t>(n);
    m_board.myTileSize = tilePitch(n);
    myShokika(m_board);
    m_board.myBlankX = static_cast<std::int16_t>(n - 1);
    m_board.myBlankY = static_cast<std::int16_t>(n - 1);
    // A running game's clock goes on counting until the new game begins.
    m_shuffling = true;
    return shuffleMoves(m_board, draw);
}

void Game::begin(std::chrono::milliseconds now) {
    m_shuffling = false;
    m_startTime = now;
    m_shownSeconds.reset();
    m_playing = true;
}

Layout homeLayout(int n, int pitch) {
    Layout layout{n, pitch, {}, {}};
    for (int k = 0; k < n * n; ++k) {
        layout.cells.push_back(homeCell(k, n));
        layout.places.push_back(cellPlace(layout.cells.back(), pitch));
    }
    return layout;
}

Layout Game::layout() const {
    return homeLayout(m_board.myGridN, m_board.myTileSize);
}

std::optional<Move> Game::moveFor(int direction) const {
    if (isRefused(m_board, direction)) {
        return std::nullopt;
    }
    const Cell from = movingCell(m_board, direction);
    return Move{direction, m_board.myBoard[from.x][from.y], from, Cell{m_board.myBlankX, m_board.myBlankY}};
}

void Game::apply(const Move& move) {
    applyMove(m_board, move.direction);
}

int Game::directionForClick(int tile) const {
    return clickToDirection(m_board, tile);
}

int Game::playerStep() const {
    return engine::playerStep(m_board.myTileSize);
}

bool Game::finishIfSolved(std::chrono::milliseconds now) {
    if (!isSolved(m_board)) {
        return false;
    }
    m_playing = false;
    m_finishedSeconds = wholeSeconds(m_startTime, now);
    return true;
}

std::optional<std::string> Game::tick(std::chrono::milliseconds now) {
    if (!m_playing) {
        return std::nullopt;
    }
    m_shownSeconds = wholeSeconds(m_startTime, now);
    return clockText(*m_shownSeconds);
}

std::optional<std::string> Game::rankedTime() const {
    if (m_finishedSeconds >= kHour) {
        return std::nullopt;
    }
    // The clock ticks twice a second, so it shows the true time or one second less: that shown value counts.
    const bool shownIsCurrent =
        m_shownSeconds && (*m_shownSeconds == m_finishedSeconds || *m_shownSeconds == m_finishedSeconds - 1);
    return clockText(shownIsCurrent ? *m_shownSeconds : m_finishedSeconds);
}

} // namespace engine
