// Playing a game with real input: Start and the shuffle, slides by clicks and keys, the clock, completion,
// and every input that can arrive while a slide or a picture load is running.
#include "engine/rules.h"
#include "mainwindow_fixture.h"
#include "platform/twips.h"
#include "support/boardtext.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

using namespace std::chrono_literals;
using testing::Fixture;
using testing::MessageRecorder;

namespace {

// The game's shuffle for the same draws, played through on the game alone: what the window must show.
struct Shuffle {
    engine::Board board;
    std::vector<int> moves;
};
Shuffle drawnShuffle(platform::UniformSource& random, int n) {
    engine::Game game;
    Shuffle s{{}, game.start(n, [&random] { return random.next(); }, {})};
    s.board = game.board();
    return s;
}

int opposite(int d) {
    return d == 1 ? 2 : d == 2 ? 1 : d == 3 ? 4 : 3;
}

QString text(const engine::Board& b) {
    return QString::fromStdString(engine::boardToText(b));
}

class ProbeSound : public platform::SoundPlayer {
public:
    void play(const QString&) override { onPlay(); }
    std::function<void()> onPlay = [] {};
};

// A scripted 2 x 2 shuffle of 108 moves that walks the gap round the board nine times and ends solved.
std::vector<double> solvedTwoByTwo() {
    std::vector<double> draws{0.4}; // nearest(0.4 · 20 + 100) = 108
    for (int i = 0; i < 27; ++i) {
        draws.insert(draws.end(), {0.0, 0.6, 0.3, 0.9}); // from above, left, below, right
    }
    return draws;
}

void typeIntoSizeBox(Fixture& f) {
    auto* combo = f.child<QComboBox>("Combo1");
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("2"));
}

} // namespace

class TestPlay : public QObject {
    Q_OBJECT
private slots:
    // A solved game opens the name entry, a window of its own that outlives the game's window and deletes
    // itself when closed: one a test left open is closed here, so that it holds nothing past the test.
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                window->close();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void startShufflesAsDrawn_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<quint64>("seed");
        for (int n = 3; n <= 10; ++n) {
            QTest::addRow("N=%d", n) << n << quint64(1000 + n);
        }
    }
    void startShufflesAsDrawn() {
        QFETCH(int, n);
        QFETCH(quint64, seed);
        Fixture f(std::make_unique<platform::ClockSeededSource>(seed));
        platform::ClockSeededSource same(seed);
        const Shuffle expected = drawnShuffle(same, n);
        f.selectSize(n);
        f.w().Command2_Click();
        QCOMPARE(text(f.w().board()), text(expected.board));
        QCOMPARE(int(f.w().board().myTileSize), int(engine::tilePitch(n)));
        QCOMPARE(testing::boardInconsistency(f.w()), QString());
        QVERIFY(f.w().isPlaying());
        QVERIFY(!f.child<QWidget>("Picture2")->isVisibleTo(&f.w()));
        for (int i = 0; i < 100; ++i) {
            QCOMPARE(f.w().tile(i)->isVisibleTo(&f.w()), i < n * n - 1);
        }
        QVERIFY(f.sound.m_played->isEmpty()); // a shuffle is silent
    }

    void startTwiceShufflesFromHome() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(5));
        platform::ClockSeededSource same(5);
        drawnShuffle(same, 5);
        const Shuffle second = drawnShuffle(same, 5);
        f.w().Command2_Click();
        f.w().Command2_Click();
        QCOMPARE(text(f.w().board()), text(second.board));
    }

    void aWholeGamePlayedBackByClicksAndKeys() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(11));
        MessageRecorder messages(f.dialogs);
        platform::ClockSeededSource same(11);
        const Shuffle shuffle = drawnShuffle(same, 3);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        f.selectSize(3);
        QTest::keyClick(&w, Qt::Key_F2);
        QVERIFY(w.isPlaying());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.text1()));
        engine::Board board = shuffle.board;
        for (std::size_t i = shuffle.moves.size(); i-- > 0;) {
            const int d = opposite(shuffle.moves[i]);
            if (i == 0) {
                f.clock.advance(65s);
                w.Timer1_Timer();
            }
            if (i % 2 == 0) {
                f.press(testing::keyFor(d));
            } else {
                const engine::Cell c = engine::movingCell(board, d);
                f.clickTile(board.myBoard[c.x][c.y]);
            }
            engine::applyMove(board, d);
            QCOMPARE(text(w.board()), text(board));
            if (i > 0) {
                QVERIFY2(messages.asked().empty(), "solved before the last move");
            }
        }
        QCOMPARE(testing::boardInconsistency(w), QString());
        QCOMPARE(int(messages.asked().size()), 1);
        QCOMPARE(messages.asked()[0].text, QStringLiteral("完成です！"));
        QCOMPARE(messages.asked()[0].title, QStringLiteral("完成通知"));
        QCOMPARE(messages.asked()[0].icon, platform::MessageIcon::Information);
        QVERIFY(!w.isPlaying());
        QVERIFY(w.tile(8)->isVisibleTo(&w)); // the missing piece is shown
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　01:05"));
        QCOMPARE(f.sound.m_played->size(), int(shuffle.moves.size()));
        QVERIFY(f.sound.m_played->first().endsWith(QStringLiteral("/move.wav")));
        // The clock is stopped and further input does nothing.
        f.clock.advance(30s);
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　01:05"));
        f.press(Qt::Key_Up);
        QCOMPARE(text(w.board()), text(board));
        QCOMPARE(int(messages.asked().size()), 1);
    }

    void keysOfEveryKind_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("direction");
        QTest::newRow("left arrow") << int(Qt::Key_Left) << 0 << int(engine::kFromRight);
        QTest::newRow("shift+left") << int(Qt::Key_Left) << int(Qt::ShiftModifier) << int(engine::kFromRight);
        QTest::newRow("keypad 4") << int(Qt::Key_4) << int(Qt::KeypadModifier) << int(engine::kFromRight);
        QTest::newRow("top-row 4") << int(Qt::Key_4) << 0 << int(engine::kFromRight);
        QTest::newRow("up arrow") << int(Qt::Key_Up) << 0 << int(engine::kFromBelow);
        QTest::newRow("top-row 8") << int(Qt::Key_8) << 0 << int(engine::kFromBelow);
        QTest::newRow("keypad 8") << int(Qt::Key_8) << int(Qt::KeypadModifier) << int(engine::kFromBelow);
        QTest::newRow("right arrow") << int(Qt::Key_Right) << 0 << int(engine::kFromLeft);
        QTest::newRow("keypad 6") << int(Qt::Key_6) << int(Qt::KeypadModifier) << int(engine::kFromLeft);
        QTest::newRow("down arrow") << int(Qt::Key_Down) << 0 << int(engine::kFromAbove);
        QTest::newRow("keypad 2, NumLock off")
            << int(Qt::Key_Down) << int(Qt::KeypadModifier) << int(engine::kFromAbove);
        QTest::newRow("top-row 2") << int(Qt::Key_2) << 0 << int(engine::kFromAbove);
        QTest::newRow("a letter") << int(Qt::Key_A) << 0 << 0;
        QTest::newRow("keypad 5") << int(Qt::Key_5) << int(Qt::KeypadModifier) << 0;
    }
    void keysOfEveryKind() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, direction);
        Fixture f(std::make_unique<platform::ClockSeededSource>(21));
        f.selectSize(4);
        f.w().Command2_Click();
        // Bring the gap off every edge so that each direction can move: two steps in from the corner it has.
        engine::Board b = f.w().board();
        if (b.myBlankX == 0)
            f.press(Qt::Key_Left);
        if (b.myBlankX == 3)
            f.press(Qt::Key_Right);
        if (b.myBlankY == 0)
            f.press(Qt::Key_Up);
        if (b.myBlankY == 3)
            f.press(Qt::Key_Down);
        b = f.w().board();
        QVERIFY(b.myBlankX > 0 && b.myBlankX < 3 && b.myBlankY > 0 && b.myBlankY < 3);
        const int sounds = f.sound.m_played->size();
        engine::Board expected = b;
        if (direction != 0) {
            engine::applyMove(expected, direction);
        }
        f.press(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(text(f.w().board()), text(expected));
        QCOMPARE(f.sound.m_played->size(), sounds + (direction != 0 ? 1 : 0));
        QCOMPARE(testing::boardInconsistency(f.w()), QString());
    }

    void refusedAtEveryEdgeSilently() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(3));
        f.selectSize(3);
        f.w().Command2_Click();
        // Right arrow moves the gap left, down arrow moves it up: drive it into each corner in turn.
        const std::pair<Qt::Key, Qt::Key> corners[] = {{Qt::Key_Right, Qt::Key_Down},
                                                       {Qt::Key_Left, Qt::Key_Up}};
        for (const auto& [horizontal, vertical] : corners) {
            for (int i = 0; i < 2; ++i) {
                f.press(horizontal);
                f.press(vertical);
            }
            const QString before = text(f.w().board());
            const int sounds = f.sound.m_played->size();
            f.press(horizontal);
            f.press(vertical);
            QCOMPARE(text(f.w().board()), before);
            QCOMPARE(f.sound.m_played->size(), sounds);
        }
        QCOMPARE(int(f.w().board().myBlankX), 2);
        QCOMPARE(int(f.w().board().myBlankY), 2);
    }

    void clicksOnlyMoveNeighbours() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(9));
        f.selectSize(5);
        f.w().Command2_Click();
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        const engine::Board b = f.w().board();
        for (int t = 0; t < 24; ++t) {
            const int d = engine::clickToDirection(b, t);
            if (d == 0) {
                f.clickTile(t);
                QCOMPARE(text(f.w().board()), text(b)); // far away or diagonal: nothing moves
            }
        }
        QVERIFY(f.sound.m_played->isEmpty());
        // A neighbour moves, and the keyboard goes back to the board.
        for (int t = 0; t < 24; ++t) {
            if (const int d = engine::clickToDirection(b, t)) {
                engine::Board expected = b;
                engine::applyMove(expected, d);
                f.child<QWidget>("Command1")->setFocus();
                f.clickTile(t);
                QCOMPARE(text(f.w().board()), text(expected));
                QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.text1()));
                break;
            }
        }
    }

    void slideFramesPerSize_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("vertical");
        QTest::addColumn<int>("fromLeft");
        const int rows[][3] = {{3, 201, 201}, {4, 188, 189}, {7, 215, 215}, {9, 223, 223}, {10, 201, 201}};
        for (const auto& r : rows) {
            QTest::addRow("N=%d", r[0]) << r[0] << r[1] << r[2];
        }
    }
    void slideFramesPerSize() {
        QFETCH(int, n);
        QFETCH(int, vertical);
        QFETCH(int, fromLeft);
        // A slide long enough that each frame has a moment of its own: each wake-up shows one frame, the last
        // one ends the slide.
        Fixture f(std::make_unique<platform::ClockSeededSource>(n), 10s);
        f.selectSize(n);
        f.w().Command2_Click();
        const auto framesOf = [&f](Qt::Key key) {
            QTest::keyClick(f.text1(), key);
            int wakes = 0;
            while (f.sliding() && f.clock.wakeNext()) {
                ++wakes;
            }
            return wakes - 1;
        };
        if (f.w().board().myBlankY == 0) {
            f.press(Qt::Key_Up);
        }
        QCOMPARE(framesOf(Qt::Key_Down), vertical); // a tile from above
        if (f.w().board().myBlankX == 0) {
            f.press(Qt::Key_Left);
        }
        QCOMPARE(framesOf(Qt::Key_Right), fromLeft); // a tile from the left counts from 0
        QCOMPARE(testing::boardInconsistency(f.w()), QString());
    }

    void soundStartsAfterTheSlide() {
        UFMain::Services services;
        services.random = std::make_unique<platform::ClockSeededSource>(4);
        auto probe = std::make_unique<ProbeSound>();
        ProbeSound* sound = probe.get();
        services.sound = std::move(probe);
        services.slideDuration = 5ms;
        QTemporaryDir rankingFolder;
        ranking::Module1 ranking(rankingFolder.path());
        UFMain w(ranking, std::move(services));
        w.Command2_Click();
        engine::Board b = w.board();
        const int d = b.myBlankY > 0 ? engine::kFromAbove : engine::kFromBelow;
        const engine::Cell c = engine::movingCell(b, d);
        const auto* tile = w.tile(b.myBoard[c.x][c.y]);
        const int target = tile->topTwips() + (d == engine::kFromAbove ? 1 : -1) * b.myTileSize;
        int topAtSound = -1;
        sound->onPlay = [&] { topAtSound = tile->topTwips(); };
        QTest::keyClick(w.findChild<QWidget*>("Text1"), d == engine::kFromAbove ? Qt::Key_Down : Qt::Key_Up);
        QTRY_COMPARE(topAtSound, target);
    }

    // Without move.wav beside the program the real player is silent, and the move is the same in all else.
    void aMissingMoveSoundChangesNothingElse() {
        QVERIFY(!QFile::exists(platform::moveSoundPath()));
        testing::ManualClock clock;
        UFMain::Services services;
        services.random = std::make_unique<platform::ClockSeededSource>(4);
        services.clock = std::make_unique<testing::ManualClock>(clock);
        services.sound = platform::makeSystemSound();
        services.slideDuration = 5ms;
        QTemporaryDir rankingFolder;
        ranking::Module1 ranking(rankingFolder.path());
        UFMain w(ranking, std::move(services));
        w.Command2_Click();
        engine::Board expected = w.board();
        const int d = expected.myBlankY > 0 ? engine::kFromAbove : engine::kFromBelow;
        engine::applyMove(expected, d);
        QTest::keyClick(w.findChild<QWidget*>("Text1"), d == engine::kFromAbove ? Qt::Key_Down : Qt::Key_Up);
        clock.advance(5ms);
        QCOMPARE(w.phase(), UFMain::Phase::Idle);
        QCOMPARE(text(w.board()), text(expected));
        QCOMPARE(testing::boardInconsistency(w), QString());
        QVERIFY(w.isPlaying());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void inputBeforeTheFirstGameDoesNothing() {
        Fixture f;
        f.press(Qt::Key_Left);
        f.w().Picture1_Click(0);
        QCOMPARE(f.w().board().myGridN, 0);
        QVERIFY(f.sound.m_played->isEmpty());
    }

    void clockShowsElapsedMinutesAndSeconds() {
        Fixture f;
        UFMain& w = f.w();
        // Just before midnight, as a steady count would be: the elapsed time is a plain difference.
        f.clock.advance(23h + 59min + 50s - f.clock.steady());
        w.Command2_Click();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:00"));
        f.clock.advance(20s);
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:20"));
        f.clock.advance(1h + 1min + 43s);
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　02:03"));
        // Start while playing: the old clock keeps its text until the first tick of the new game.
        w.Command2_Click();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　02:03"));
        f.clock.advance(999ms);
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:00"));
    }

    void clockTicksDuringASlide() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(8), 1200ms);
        UFMain& w = f.w();
        w.Command2_Click();
        f.clock.advance(7s);
        QTest::keyClick(f.text1(), w.board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        QVERIFY(f.sliding());
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:07"));
        QVERIFY(f.settle());
    }

    void twoByTwoFromTypedTextAndASolvedShuffle() {
        Fixture f(std::make_unique<testing::ScriptedSource>(solvedTwoByTwo()));
        MessageRecorder messages(f.dialogs);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        typeIntoSizeBox(f);
        w.Command2_Click();
        QCOMPARE(int(w.board().myGridN), 2);
        QCOMPARE(int(w.board().myTileSize), 3008);
        QCOMPARE(w.tile(0)->width(), platform::twipsToPixelsRounded(2988));
        QVERIFY(w.tile(2)->isVisibleTo(&w));
        QVERIFY(!w.tile(3)->isVisibleTo(&w));
        QCOMPARE(text(w.board()), QStringLiteral("0 1 / 2 _"));
        // Not announced by the shuffle; the next input that moves nothing announces it.
        QVERIFY(messages.asked().empty());
        f.press(Qt::Key_Left); // the gap is in the last column: refused
        QCOMPARE(int(messages.asked().size()), 1);
        QVERIFY(!w.isPlaying());
    }

    // After the finish: a click that moves nothing announced it; Start lays the board out again, the shown
    // missing piece hidden and the preview still hidden.
    void aClickThatMovesNothingFinishesAndStartHidesTheMissingPieceAgain() {
        std::vector<double> twice = solvedTwoByTwo();
        const std::vector<double> once = solvedTwoByTwo();
        twice.insert(twice.end(), once.begin(), once.end());
        Fixture f(std::make_unique<testing::ScriptedSource>(twice));
        MessageRecorder messages(f.dialogs);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        typeIntoSizeBox(f);
        w.Command2_Click();
        QCOMPARE(text(w.board()), QStringLiteral("0 1 / 2 _"));
        f.clickTile(0); // diagonal to the gap: nothing moves
        QCOMPARE(int(messages.asked().size()), 1);
        QCOMPARE(messages.asked()[0].title, QStringLiteral("完成通知"));
        QVERIFY(w.tile(3)->isVisibleTo(&w));
        QVERIFY(!w.isPlaying());

        w.Command2_Click();
        QVERIFY(w.isPlaying());
        QVERIFY(!w.tile(3)->isVisibleTo(&w));
        QVERIFY(!f.child<QWidget>("Picture2")->isVisibleTo(&w));
        QCOMPARE(int(messages.asked().size()), 1);
    }

    // A picture dropped during a game stands in front of it; the game goes on behind and its finish, reached
    // with the arrow keys, is announced.
    void aGameSolvedBehindADroppedPictureIsAnnounced() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plain.png"));
        QImage plain(64, 48, QImage::Format_RGB32);
        plain.fill(Qt::darkCyan);
        QVERIFY(plain.save(path));
        Fixture f(std::make_unique<platform::ClockSeededSource>(23));
        MessageRecorder messages(f.dialogs);
        platform::ClockSeededSource same(23);
        const Shuffle shuffle = drawnShuffle(same, 3);
        f.selectSize(3);
        QVERIFY(f.showAndStart());
        UFMain& w = f.w();
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(path)});
        w.Form_OLEDragDrop(&drop);
        QTRY_COMPARE(w.currentPicture().width(), 64 * 2540.0 / 96);
        QVERIFY(f.child<QWidget>("Picture2")->isVisibleTo(&w));
        QVERIFY(w.isPlaying());
        for (std::size_t i = shuffle.moves.size(); i-- > 0;) {
            f.press(testing::keyFor(opposite(shuffle.moves[i])));
        }
        QCOMPARE(int(messages.asked().size()), 1);
        QCOMPARE(messages.asked()[0].text, QStringLiteral("完成です！"));
        QVERIFY(!w.isPlaying());
    }

    // Start paints every face afresh: the same picture at the same size gives the same faces, numbers and
    // all, however often it is painted.
    void facesPaintedTwiceAreTheSame() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(6));
        f.selectSize(4);
        QVERIFY(f.showAndStart());
        std::vector<QImage> first;
        for (int k = 0; k < 16; ++k) {
            first.push_back(f.w().tile(k)->backing());
        }
        f.w().Command2_Click();
        for (int k = 0; k < 16; ++k) {
            QVERIFY2(f.w().tile(k)->backing() == first[std::size_t(k)], qPrintable(QString::number(k)));
        }
    }

    void aMovingInputTakesASolvedShuffleApart() {
        Fixture f(std::make_unique<testing::ScriptedSource>(solvedTwoByTwo()));
        MessageRecorder messages(f.dialogs);
        typeIntoSizeBox(f);
        f.w().Command2_Click();
        f.press(Qt::Key_Down);
        QVERIFY(messages.asked().empty());
        QVERIFY(f.w().isPlaying());
    }

    // --- input that arrives while something runs ---

    void secondKeyOrClickDuringASlideIsDropped() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(12), 150ms);
        UFMain& w = f.w();
        QVERIFY(f.showAndStart());
        const engine::Board b = w.board();
        const int d = b.myBlankY > 0 ? engine::kFromAbove : engine::kFromBelow;
        engine::Board expected = b;
        engine::applyMove(expected, d);
        QTest::keyClick(f.text1(), d == engine::kFromAbove ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        QVERIFY(f.sliding());
        QTest::keyClick(f.text1(), Qt::Key_Left);
        QTest::keyClick(f.text1(), Qt::Key_Right);
        for (int t = 0; t < 8; ++t) {
            QTest::mouseClick(w.tile(t), Qt::LeftButton);
        }
        QVERIFY(f.settle());
        QVERIFY(f.idle());
        QCOMPARE(text(w.board()), text(expected));
        QCOMPARE(f.sound.m_played->size(), 1);
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    void startDuringASlideWaitsForIt() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(13), 150ms);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Command2_Click();
        engine::Board afterSlide = w.board();
        engine::applyMove(afterSlide, w.board().myBlankY > 0 ? engine::kFromAbove : engine::kFromBelow);
        QTest::keyClick(f.text1(), w.board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        QTest::keyClick(&w, Qt::Key_F2);
        QCOMPARE(text(w.board()), text(afterSlide)); // not started inside the slide
        QVERIFY(f.settle());
        QCOMPARE(f.sound.m_played->size(), 1);
        QVERIFY(w.isPlaying());
        QVERIFY(f.idle());
        QCOMPARE(testing::boardInconsistency(w), QString());
        // Then the new game began: a fresh shuffle from home, not the board the slide left.
        QVERIFY(text(w.board()) != text(afterSlide));
        QCOMPARE(int(w.board().myTileSize), 1203);
    }

    void windowCommandsDuringASlide() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(15), 150ms);
        MessageRecorder messages(f.dialogs);
        UFMain& w = f.w();
        QVERIFY(f.showAndStart());
        bool dialogDuringSlide = false;
        int dialogs = 0;
        f.dialogs->answerFile = [&](const QString&) {
            ++dialogs;
            dialogDuringSlide = f.sliding();
            return std::optional<QString>();
        };
        QTest::keyClick(f.text1(), w.board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        f.selectSize(8);    // the size box
        w.M32_Click(2);     // its menu
        w.Command1_Click(); // the picture dialog: waits for the slide
        QMimeData drop;
        drop.setText(QStringLiteral("no file here"));
        w.Form_OLEDragDrop(&drop); // a drop: waits too, and its data is taken now
        QCoreApplication::processEvents();
        QCOMPARE(dialogs, 0);
        QVERIFY(messages.asked().empty());
        QVERIFY(f.settle());
        f.dialogs->answerFile = {};
        QCOMPARE(dialogs, 1);
        QVERIFY(!dialogDuringSlide);
        QCOMPARE(int(w.board().myGridN), 5); // the running game keeps its size
        QCOMPARE(f.child<QComboBox>("Combo1")->currentIndex(), 1);
        QCOMPARE(int(messages.asked().size()), 1); // the drop carried no file
        QVERIFY(w.isPlaying());                    // a drop leaves the game running
        QVERIFY(f.child<QWidget>("Picture2")->isVisibleTo(&w));
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    // A picture decodes while the window goes on: the clock ticks; clicks and keys pressed meanwhile are
    // dropped, as during a slide, while a command waits its turn and runs once the picture is in place.
    void inputDuringAPictureLoadIsDroppedAndCommandsWait() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plain.png"));
        QImage plain(64, 48, QImage::Format_RGB32);
        plain.fill(Qt::darkCyan);
        QVERIFY(plain.save(path));

        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(31), 2ms, {}, &gate);
        UFMain& w = f.w();
        QVERIFY(f.showAndStart());
        const QString before = text(w.board());
        const int d = w.board().myBlankY > 0 ? engine::kFromAbove : engine::kFromBelow;
        const engine::Cell c = engine::movingCell(w.board(), d);
        const int neighbour = w.board().myBoard[c.x][c.y];
        int dialogs = 0;
        f.dialogs->answerFile = [&](const QString&) {
            ++dialogs;
            return std::optional<QString>();
        };
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(path)});
        w.Form_OLEDragDrop(&drop);
        QTRY_COMPARE(gate.waiting(), 1);
        QCOMPARE(w.phase(), UFMain::Phase::Loading);
        for (int i = 0; i < 6; ++i) { // a held arrow key repeats
            QTest::keyClick(f.text1(), testing::keyFor(d));
        }
        QTest::mouseClick(w.tile(neighbour), Qt::LeftButton);
        w.Command1_Click(); // the picture dialog waits for the load
        f.clock.advance(3s);
        w.Timer1_Timer();
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:03"));
        QCOMPARE(dialogs, 0);
        QCOMPARE(text(w.board()), before);
        gate.release();
        QTRY_COMPARE(dialogs, 1);
        f.dialogs->answerFile = {};
        QCOMPARE(w.currentPicture().width(), 64 * 2540.0 / 96);
        QVERIFY(f.idle());
        QCOMPARE(text(w.board()), before);
        QVERIFY(f.sound.m_played->isEmpty());
        QVERIFY(w.isPlaying()); // a drop leaves the game running, and a key moves its tiles again
        f.press(testing::keyFor(d));
        QVERIFY(text(w.board()) != before);
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    // Closing ends the slide where it stands: the tile goes where the board has it, and nothing of the slide
    // (its frames, its sound) comes after.
    void closingDuringASlideEndsCleanly() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(16), 300ms);
        UFMain& w = f.w();
        QVERIFY(f.showAndStart());
        QTest::keyClick(f.text1(), w.board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.phase(), UFMain::Phase::Closed);
        QVERIFY(!f.clock.anyAlarmSet());
        f.clock.advance(1s);
        QVERIFY(f.sound.m_played->isEmpty());
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    void windowDeletedDuringASlide() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(18), 300ms);
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        f.w().Command2_Click();
        QPointer<QWidget> sink = f.text1();
        QTest::keyClick(sink.data(), f.w().board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        f.window.reset();
        QVERIFY(sink.isNull());
        QVERIFY(!f.clock.anyAlarmSet());
        f.clock.advance(1s);
        QVERIFY(f.sound.m_played->isEmpty());
    }
};

QTEST_MAIN(TestPlay)
#include "test_play.moc"
