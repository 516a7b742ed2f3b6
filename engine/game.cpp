// One game: start and shuffle, the player's input and moves, the solved test and the clock.
#include "game.h"

#include "rules.h"

namespace engine {

namespace {
constexpr std::int64_t kHour = 3600;

std::int64_t wholeSeconds(std::chrono::milliseconds from, std::chrono::milliseconds to) {
    return std::max<std::int64_t>(std::chrono::duration_cast<std::chrono::seconds>(to - from).count(), 0);
}
} // namespace

std::vector<int> shuffleMoves(Board& board, const UniformDraw& draw) {
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

std::vector<int> Game::start(int n, const UniformDraw& draw, std::chrono::milliseconds now) {
    m_board.myGridN = static_cast<std::int16_t>(n);
    m_board.myTileSize = tilePitch(n);
    myShokika(m_board);
    m_board.myBlankX = static_cast<std::int16_t>(n - 1);
    m_board.myBlankY = static_cast<std::int16_t>(n - 1);
    std::vector<int> moves = shuffleMoves(m_board, draw);
    m_startTime = now;
    m_shownSeconds.reset();
    m_playing = true;
    return moves;
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

int Game::directionFor(const Input& input) const {
    return input.kind == Input::Kind::Tile ? clickToDirection(m_board, input.tile)
                                           : directionOfKey(input.keyCode);
}

Answer Game::input(const Input& input, std::chrono::milliseconds now) {
    // Clicks and keys move tiles only in a running game; the window drops those that arrive while it shows a
    // move, so none is ever queued.
    if (!m_playing) {
        return {};
    }
    const int direction = directionFor(input);
    if (isRefused(m_board, direction)) {
        // An input that moves nothing still runs the solved test: a shuffle that ended solved ends here.
        return {Answer::Kind::NoEffect, {}, finishIfSolved(now)};
    }
    const Cell from = movingCell(m_board, direction);
    const Move move{direction, m_board.myBoard[from.x][from.y]};
    applyMove(m_board, direction);
    return {Answer::Kind::Move, move, finishIfSolved(now)};
}

int Game::playerStep() const {
    return engine::playerStep(m_board.myTileSize);
}

std::optional<Finish> Game::finishIfSolved(std::chrono::milliseconds now) {
    if (!m_playing || !isSolved(m_board)) {
        return std::nullopt;
    }
    m_playing = false;
    return Finish{m_board.myGridN, rankedTime(wholeSeconds(m_startTime, now))};
}

std::optional<std::string> Game::tick(std::chrono::milliseconds now) {
    if (!m_playing) {
        return std::nullopt;
    }
    m_shownSeconds = wholeSeconds(m_startTime, now);
    return clockText(*m_shownSeconds);
}

std::optional<std::string> Game::rankedTime(std::int64_t finishedSeconds) const {
    if (finishedSeconds >= kHour) {
        return std::nullopt;
    }
    // The clock ticks twice a second, so it shows the true time or one second less: that shown value counts.
    const bool shownIsCurrent =
        m_shownSeconds && (*m_shownSeconds == finishedSeconds || *m_shownSeconds == finishedSeconds - 1);
    return clockText(shownIsCurrent ? *m_shownSeconds : finishedSeconds);
}

} // namespace engine
