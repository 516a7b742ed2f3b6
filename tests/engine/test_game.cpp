// One game's course without a window: the shuffle as drawn, the player's moves, completion and the clock.
#include "engine/game.h"
#include "engine/rules.h"
#include "support/boardtext.h"

#include <QTest>
#include <deque>
#include <map>
#include <random>

using namespace engine;
using namespace std::chrono_literals;

namespace {

QString text(const Board& b) {
    return QString::fromStdString(boardToText(b));
}

// The game's own generator: a Mersenne twister seeded once, uniform in [0, 1).
UniformDraw seeded(std::uint64_t seed) {
    auto generator = std::make_shared<std::mt19937_64>(seed);
    return [generator] { return std::uniform_real_distribution<double>(0.0, 1.0)(*generator); };
}

// Plays the given values in turn, then the cycle over and over.
UniformDraw scripted(std::vector<double> values, std::vector<double> cycle) {
    auto drawn = std::make_shared<std::size_t>(0);
    return [values, cycle, drawn] {
        const std::size_t i = (*drawn)++;
        return i < values.size() ? values[i] : cycle[(i - values.size()) % cycle.size()];
    };
}

// Starts a game, which the game shuffles itself.
Game shuffled(int n, const UniformDraw& draw, std::vector<int>* moves = nullptr) {
    Game game;
    const std::vector<int> directions = game.start(n, draw, 0ms);
    if (moves) {
        *moves = directions;
    }
    return game;
}

// The shortest way of moves from home to the board given (boards near home only).
std::vector<int> wayFromHome(const Board& target) {
    Board home;
    home.myGridN = target.myGridN;
    home.myTileSize = tilePitch(target.myGridN);
    myShokika(home);
    home.myBlankX = home.myBlankY = static_cast<std::int16_t>(target.myGridN - 1);
    const std::string goal = boardToText(target);
    std::map<std::string, std::pair<std::string, int>> cameFrom{{boardToText(home), {"", kNone}}};
    std::deque<Board> open{home};
    while (!open.empty()) {
        const Board board = open.front();
        open.pop_front();
        const std::string here = boardToText(board);
        if (here == goal) {
            std::vector<int> way;
            for (std::string at = here; !cameFrom[at].first.empty(); at = cameFrom[at].first) {
                way.insert(way.begin(), cameFrom[at].second);
            }
            return way;
        }
        for (const int d : {kFromAbove, kFromBelow, kFromLeft, kFromRight}) {
            Board next = board;
            if (applyMove(next, d) && cameFrom.emplace(boardToText(next), std::pair(here, d)).second) {
                open.push_back(next);
            }
        }
    }
    return {};
}

// A game standing at this board, its clock started at `at`: started as every game is, its shuffle drawn so
// that it ends there. The shuffle turns the bottom-right 2 x 2 corner round three times (every tile home
// again) as often as the shuffle's count asks, then takes the shortest way to the board.
Game playing(const char* text, std::chrono::milliseconds at = 0ms) {
    const Board target = boardFromText(text);
    const int n = target.myGridN;
    const std::vector<int> way = wayFromHome(target);
    // A turn ends with the move before the way's first one, which must not undo it.
    const std::vector<int> turn = !way.empty() && way.front() == kFromLeft
                                      ? std::vector<int>{kFromLeft, kFromAbove, kFromRight, kFromBelow}
                                      : std::vector<int>{kFromAbove, kFromLeft, kFromBelow, kFromRight};
    std::vector<int> moves;
    while (moves.size() + way.size() < 100) {
        for (int i = 0; i < 3; ++i) {
            moves.insert(moves.end(), turn.begin(), turn.end());
        }
    }
    moves.insert(moves.end(), way.begin(), way.end());
    std::vector<double> draws{double(moves.size() - 100) / (5.0 * n * n)};
    for (const int d : moves) {
        draws.push_back(std::array{0.0, 0.34, 0.67, 0.99}[std::size_t(d - 1)]);
    }
    Game game;
    game.start(n, scripted(draws, {0.0}), at);
    if (text != QString::fromStdString(boardToText(game.board()))) {
        qFatal("no game stands at %s", text);
    }
    return game;
}

} // namespace

class TestGame : public QObject {
    Q_OBJECT
private slots:
    // The boards these seeds gave before the game's course moved out of the window; a change in how the
    // shuffle draws (order, count, redraws) shows here.
    void shuffleAsDrawnBefore_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("board");
        const char* const boards[] = {
            "2 _ / 1 0",
            "6 1 _ / 4 0 7 / 3 2 5",
            "6 7 12 3 / 11 8 1 2 / 13 4 _ 14 / 0 10 9 5",
            "5 6 9 8 14 / 3 0 7 2 4 / 12 20 11 19 15 / 13 10 18 17 16 / 1 21 _ 22 23",
            "0 2 10 8 3 4 / 12 1 25 11 15 5 / 24 21 14 6 9 17 / 33 18 31 16 23 27 / 32 13 30 22 20 34 / "
            "7 26 29 _ 19 28",
            "0 2 1 3 4 5 6 / 9 7 16 10 11 12 13 / 28 8 17 24 18 19 20 / 21 31 15 35 26 33 27 / "
            "14 22 43 29 37 41 32 / 36 _ 30 38 45 39 47 / 44 23 42 46 40 34 25",
            "0 1 2 3 4 5 6 7 / 8 9 10 26 11 21 14 15 / 16 18 19 28 13 12 22 23 / 41 17 33 36 _ 29 30 31 / "
            "25 27 24 43 20 35 38 39 / 56 32 58 54 59 52 45 47 / 40 57 48 42 50 37 44 46 / "
            "34 60 49 61 51 53 62 55",
            "0 1 2 3 4 5 6 7 8 / 9 10 11 12 13 14 15 16 17 / 28 37 19 21 22 23 24 25 26 / "
            "18 72 20 30 32 50 33 34 35 / 27 36 46 40 31 42 51 43 44 / 75 47 29 56 39 41 59 52 53 / "
            "38 45 76 48 67 77 61 62 71 / 54 58 74 49 55 60 _ 79 78 / 57 63 64 66 68 73 65 69 70",
            "0 1 2 3 4 5 6 7 8 9 / 10 11 12 13 15 25 16 17 18 19 / 31 20 23 24 14 35 26 27 28 29 / "
            "21 43 22 33 34 44 36 37 38 39 / 30 90 32 53 64 46 55 47 48 49 / 52 41 42 80 63 45 57 66 58 59 / "
            "92 71 40 50 61 74 65 56 67 69 / 83 73 54 75 72 95 84 77 68 79 / 82 70 60 94 85 62 78 87 89 98 / "
            "51 91 _ 81 97 93 76 96 86 88",
        };
        for (int n = 2; n <= 10; ++n) {
            QTest::addRow("N=%d", n) << n << QString::fromLatin1(boards[n - 2]);
        }
    }
    void shuffleAsDrawnBefore() {
        QFETCH(int, n);
        QFETCH(QString, board);
        std::vector<int> moves;
        const Game game = shuffled(n, seeded(7000 + std::uint64_t(n)), &moves);
        QCOMPARE(text(game.board()), board);
        QVERIFY(int(moves.size()) >= 100 && int(moves.size()) <= 100 + 5 * n * n);
        QVERIFY(moves.front() == kFromAbove || moves.front() == kFromLeft); // from the bottom-right corner
        for (std::size_t i = 1; i < moves.size(); ++i) {
            QVERIFY2(!isOpposite(moves[i], moves[i - 1]), "a shuffle move undid the one before");
        }
    }

    // Draws that would undo the previous move or leave the board are drawn again and not counted; a refusal
    // does not change which move counts as the previous one.
    void shuffleRedrawsAndCounts() {
        // nearest(0 · 45 + 100) = 100 moves on 3 x 3. From the corner: below and right are refused, above
        // moves; below would undo it; right is refused at the edge and leaves "above" the previous move, so
        // left moves; right would undo that; above moves. Then the gap circles: left, below, right, above.
        const UniformDraw draw =
            scripted({0.0, 0.5, 0.9, 0.0, 0.5, 0.9, 0.6, 0.9, 0.0}, {0.6, 0.3, 0.9, 0.0});
        Game game;
        const std::vector<int> moves = game.start(3, draw, 5s);
        QCOMPARE(int(moves.size()), 100);
        const std::vector<int> first(moves.begin(), moves.begin() + 7);
        QCOMPARE(first, (std::vector<int>{kFromAbove, kFromLeft, kFromAbove, kFromLeft, kFromBelow,
                                          kFromRight, kFromAbove}));
        // The board is shuffled as the moves say, and the game runs from the start's moment.
        Board replayed = boardFromText("0 1 2 / 3 4 5 / 6 7 _");
        for (const int d : moves) {
            QVERIFY(applyMove(replayed, d));
        }
        QCOMPARE(text(game.board()), text(replayed));
        QVERIFY(game.playing());
        QCOMPARE(game.tick(7s), std::optional<std::string>("00:02"));
    }

    void startLaysOutHomeEveryTime() {
        // A start shuffles from home, whatever the game before it left on the board.
        Game game = shuffled(5, seeded(3));
        game.start(3, seeded(4), 0ms);
        QCOMPARE(text(game.board()), text(shuffled(3, seeded(4)).board()));
        QCOMPARE(int(game.board().myTileSize), 2005);
        const Layout layout = game.layout();
        QCOMPARE(int(layout.places.size()), 9);
        QCOMPARE(layout.places[4].left, 2245);
        QCOMPARE(layout.places[4].top, 2245);
        QCOMPARE(layout.places[4].side, 1985);
        QCOMPARE(layout.cells[5], (Cell{2, 1}));
        QCOMPARE(game.missingTile(), 8);
    }

    // One entry for clicks and keys: a move, no effect or not now; the board takes a move at once, so the
    // next input works on the board as the move left it.
    void inputAnswers() {
        Game game = playing("2 1 5 / 3 _ 4 / 6 7 0");
        const Answer click = game.input(Input::click(4), 1s);
        QCOMPARE(click.kind, Answer::Kind::Move);
        QCOMPARE(click.move.tile, 4);
        QCOMPARE(click.move.direction, int(kFromRight));
        QCOMPARE(click.finish.has_value(), false);
        QCOMPARE(text(game.board()), QString("2 1 5 / 3 4 _ / 6 7 0"));

        // The empty cell is in the last column: left is refused; a diagonal tile and a key of no arrow move
        // nothing either.
        for (const Input& input : {Input::key(37), Input::click(1), Input::key(65)}) {
            const Answer none = game.input(input, 3s);
            QCOMPARE(none.kind, Answer::Kind::NoEffect);
            QCOMPARE(none.finish.has_value(), false);
        }
        QCOMPARE(text(game.board()), QString("2 1 5 / 3 4 _ / 6 7 0"));
        // Each key takes the tile that travels its way.
        const std::pair<int, int> keys[] = {{38, kFromBelow}, {39, kFromLeft}, {40, kFromAbove}};
        for (const auto& [code, direction] : keys) {
            const Answer key = game.input(Input::key(code), 4s);
            QCOMPARE(key.kind, Answer::Kind::Move);
            QCOMPARE(key.move.direction, direction);
        }
        QCOMPARE(text(game.board()), QString("2 1 5 / 3 _ 0 / 6 4 7"));
        QCOMPARE(game.playerStep(), 10);
    }

    void noInputWithoutAGame() {
        Game game;
        QCOMPARE(game.input(Input::click(0), 0ms).kind, Answer::Kind::NotNow);
        QCOMPARE(game.input(Input::key(37), 0ms).kind, Answer::Kind::NotNow);
    }

    // The move that solves the board ends the game and carries the finish; so does an input that moves
    // nothing on a board that is already solved, and only once.
    void theGameReportsItsFinish() {
        Game game = playing("0 1 2 / 3 4 5 / 6 _ 7", 10s);
        QCOMPARE(game.tick(75s), std::optional<std::string>("01:05"));
        const Answer last = game.input(Input::key(37), 75'600ms);
        QCOMPARE(last.kind, Answer::Kind::Move);
        QCOMPARE(last.move.tile, 7);
        QVERIFY(last.finish);
        QCOMPARE(last.finish->size, 3);
        QCOMPARE(last.finish->time, std::optional<std::string>("01:05"));
        QVERIFY(!game.playing());
        QCOMPARE(game.tick(200s), std::nullopt); // the display keeps its last time
        QCOMPARE(game.input(Input::key(39), 200s).kind, Answer::Kind::NotNow);

        Game solvedByShuffle = playing("0 1 / 2 _", 0s);
        const Answer refused = solvedByShuffle.input(Input::key(37), 3s);
        QCOMPARE(refused.kind, Answer::Kind::NoEffect);
        QVERIFY(refused.finish);
        QCOMPARE(refused.finish->size, 2);
        QCOMPARE(refused.finish->time, std::optional<std::string>("00:03"));
        QCOMPARE(solvedByShuffle.input(Input::click(0), 4s).kind, Answer::Kind::NotNow);
    }

    // The ranking takes the time the clock showed: the true time or up to a tick behind. A game solved before
    // the first tick has shown nothing of its own, and an hour cannot be written as "mm:ss".
    void rankedTime_data() {
        QTest::addColumn<int>("shownAt");    // seconds into the game of the last tick, -1 for none
        QTest::addColumn<int>("solvedAt");   // seconds
        QTest::addColumn<QString>("ranked"); // empty for none
        QTest::addRow("shown") << 65 << 65 << "01:05";
        QTest::addRow("a tick behind") << 64 << 65 << "01:04";
        QTest::addRow("not yet ticked") << -1 << 2 << "00:02";
        QTest::addRow("long stale") << 10 << 90 << "01:30";
        QTest::addRow("last second of the hour") << 3599 << 3599 << "59:59";
        QTest::addRow("an hour") << 3599 << 3600 << "";
        QTest::addRow("over an hour") << 3723 << 3723 << "";
    }
    void rankedTime() {
        QFETCH(int, shownAt);
        QFETCH(int, solvedAt);
        QFETCH(QString, ranked);
        Game game = playing("0 1 2 / 3 4 5 / 6 _ 7", 1000s);
        if (shownAt >= 0) {
            game.tick(1000s + std::chrono::seconds(shownAt));
        }
        const std::chrono::milliseconds solved = 1000s + std::chrono::seconds(solvedAt);
        const std::optional<Finish> finish = game.input(Input::key(37), solved).finish;
        QVERIFY(finish);
        QCOMPARE(finish->time ? QString::fromStdString(*finish->time) : QString(), ranked);
    }

    // Start while a game runs: the new one counts from its start, and a stop ends the clock.
    void aNewStartCountsFromItsOwnMoment() {
        Game game = playing("0 1 2 / 3 4 5 / 6 _ 7", 0s);
        QCOMPARE(game.tick(12s), std::optional<std::string>("00:12"));
        game.start(4, seeded(9), 13s);
        QVERIFY(game.playing());
        QCOMPARE(game.tick(13'900ms), std::optional<std::string>("00:00"));
        game.stop();
        QCOMPARE(game.tick(20s), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestGame)
#include "test_game.moc"
