// The board rules: geometry per size, layout, moves and their refusals, slide frames, the solved test.
#include "engine/board.h"
#include "support/boardtext.h"

#include <QTest>

using namespace engine;

namespace {
QString text(const Board& b) {
    return QString::fromStdString(boardToText(b));
}
Board solved(int n) {
    Board b;
    b.myGridN = static_cast<std::int16_t>(n);
    b.myTileSize = tilePitch(n);
    myShokika(b);
    b.myBlankX = b.myBlankY = static_cast<std::int16_t>(n - 1);
    return b;
}
} // namespace

class TestBoard : public QObject {
    Q_OBJECT
private slots:
    void pitchPerSize_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<int>("span");
        // Halves go to the even neighbour: 6015/6 = 1002.5 gives 1002, 6015/10 = 601.5 gives 602.
        const int rows[][3] = {{2, 3008, 5996}, {3, 2005, 5995}, {4, 1504, 5996},
                               {5, 1203, 5995}, {6, 1002, 5992}, {7, 859, 5993},
                               {8, 752, 5996},  {9, 668, 5992},  {10, 602, 6000}};
        for (const auto& r : rows) {
            QTest::addRow("N=%d", r[0]) << r[0] << r[1] << r[2];
        }
    }
    void pitchPerSize() {
        QFETCH(int, n);
        QFETCH(int, pitch);
        QFETCH(int, span);
        QCOMPARE(int(tilePitch(n)), pitch);
        const TilePlace last = cellPlace(homeCell(n * n - 1, n), pitch);
        QCOMPARE(last.side, pitch - kTileGap);
        QCOMPARE(last.left + last.side - kBoardOrigin, span);
        // The board never reaches past the preview's right edge at 6255.
        QVERIFY(last.left + last.side <= 6255);
    }

    void layoutOfThree() {
        const Board b = solved(3);
        const TilePlace four = cellPlace(homeCell(4, 3), b.myTileSize);
        QCOMPARE(four.left, 2245);
        QCOMPARE(four.top, 2245);
        QCOMPARE(four.side, 1985);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) {
                QCOMPARE(int(b.myBoard[x][y]), 3 * y + x);
            }
        }
        QCOMPARE(text(b), QString("0 1 2 / 3 4 5 / 6 7 _"));
    }

    void layoutLeavesCellsOutsideTheGrid() {
        Board b = solved(10);
        b.myBoard[9][9] = 42;
        b.myBoard[5][3] = 17; // inside 10x10 but outside 3x3
        b.myGridN = 3;
        myShokika(b);
        QCOMPARE(int(b.myBoard[9][9]), 42);
        QCOMPARE(int(b.myBoard[5][3]), 17);
        QVERIFY(isSolved(b));
    }

    void sizeTexts() {
        QCOMPARE(QString::fromStdString(sizeText(3)), QString::fromUtf8("3\u00D73"));
        QCOMPARE(QString::fromStdString(sizeText(10)), QString::fromUtf8("10\u00D710"));
        QCOMPARE(gridForEntry(-1), 2);
        QCOMPARE(gridForEntry(7), 10);
        QCOMPARE(int(kGridSizes.size()), 8);
        QCOMPARE(kGridSizes.front(), 3);
        QCOMPARE(kGridSizes.back(), 10);
        QCOMPARE(kGridSizes[std::size_t(entryForGrid(kDefaultGrid))], 5);
        QCOMPARE(sizeAccessKey(3), '3');
        QCOMPARE(sizeAccessKey(10), '0');
    }

    void refusedAtEveryEdge_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("refused");
        QTest::newRow("gap top: from above refused") << "_ 1 2 / 3 4 5 / 6 7 0" << int(kFromAbove) << true;
        QTest::newRow("gap top: from below allowed") << "_ 1 2 / 3 4 5 / 6 7 0" << int(kFromBelow) << false;
        QTest::newRow("gap bottom: from below refused") << "0 1 2 / 3 4 5 / 6 7 _" << int(kFromBelow) << true;
        QTest::newRow("gap left: from left refused") << "1 2 3 / _ 4 5 / 6 7 0" << int(kFromLeft) << true;
        QTest::newRow("gap left: from right allowed") << "1 2 3 / _ 4 5 / 6 7 0" << int(kFromRight) << false;
        QTest::newRow("gap right: from right refused") << "0 1 2 / 3 4 _ / 6 7 5" << int(kFromRight) << true;
        QTest::newRow("gap right: from left allowed") << "0 1 2 / 3 4 _ / 6 7 5" << int(kFromLeft) << false;
        QTest::newRow("gap middle: all allowed") << "0 1 2 / 3 _ 5 / 6 7 4" << int(kFromAbove) << false;
        QTest::newRow("unknown code") << "0 1 2 / 3 _ 5 / 6 7 4" << 7 << true;
    }
    void refusedAtEveryEdge() {
        QFETCH(QString, board);
        QFETCH(int, direction);
        QFETCH(bool, refused);
        QCOMPARE(isRefused(boardFromText(board.toStdString()), direction), refused);
    }

    void moveUpdatesBoardAndGap() {
        Board b = boardFromText("0 1 2 / 3 4 5 / 6 7 _");
        QCOMPARE(applyMove(b, kFromBelow), std::nullopt); // no tile below the gap: nothing changes
        QCOMPARE(applyMove(b, kFromRight), std::nullopt);
        QCOMPARE(text(b), QString("0 1 2 / 3 4 5 / 6 7 _"));
        QCOMPARE(applyMove(b, kFromAbove), std::optional<int>(5));
        QCOMPARE(text(b), QString("0 1 2 / 3 4 _ / 6 7 5"));
        QCOMPARE(int(b.myBoard[2][1]), 0); // the vacated cell holds 0, like tile 0's index
        QCOMPARE(applyMove(b, kFromLeft), std::optional<int>(4));
        QCOMPARE(text(b), QString("0 1 2 / 3 _ 4 / 6 7 5"));
        // Opposite codes undo each other.
        applyMove(b, kFromRight);
        applyMove(b, kFromBelow);
        QCOMPARE(text(b), QString("0 1 2 / 3 4 5 / 6 7 _"));
    }

    void oppositePairs() {
        QVERIFY(isOpposite(kFromAbove, kFromBelow));
        QVERIFY(isOpposite(kFromBelow, kFromAbove));
        QVERIFY(isOpposite(kFromLeft, kFromRight));
        QVERIFY(isOpposite(kFromRight, kFromLeft));
        QVERIFY(!isOpposite(kFromAbove, kFromAbove));
        QVERIFY(!isOpposite(kFromAbove, kFromLeft));
        QVERIFY(!isOpposite(kFromLeft, kNone));
    }

    void framesPerSize_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("framesFromLeft");
        const int rows[][3] = {{2, 201, 201}, {3, 201, 201}, {4, 188, 189}, {5, 201, 201}, {6, 201, 201},
                               {7, 215, 215}, {8, 188, 189}, {9, 223, 223}, {10, 201, 201}};
        for (const auto& r : rows) {
            QTest::addRow("N=%d", r[0]) << r[0] << r[1] << r[2];
        }
    }
    void framesPerSize() {
        QFETCH(int, n);
        QFETCH(int, frames);
        QFETCH(int, framesFromLeft);
        const int pitch = tilePitch(n);
        const int step = (pitch + kSlideSteps / 2) / kSlideSteps;
        for (int d : {int(kFromAbove), int(kFromBelow), int(kFromRight)}) {
            const auto offsets = frameOffsets(d, pitch, step);
            QCOMPARE(int(offsets.size()), frames);
            QCOMPARE(offsets.front(), 1);
            QVERIFY(offsets.back() <= pitch);
        }
        const auto left = frameOffsets(kFromLeft, pitch, step);
        QCOMPARE(int(left.size()), framesFromLeft);
        QCOMPARE(left.front(), 0);
    }

    void shuffleMoveFrames() {
        // One step of a whole pitch: one frame at 1, or two at 0 and the pitch for a slide from the left.
        QCOMPARE(frameOffsets(kFromAbove, 1203, 1203), std::vector<int>({1}));
        QCOMPARE(frameOffsets(kFromLeft, 1203, 1203), std::vector<int>({0, 1203}));
    }

    // Where a tile stands at each frame: it grows toward the empty cell below or right, shrinks toward the
    // one above or left, and ends a whole pitch from where it set out.
    void slidesGoTowardTheEmptyCell() {
        const Slide down = slideOf(kFromAbove, 240, 1203, 601);
        QVERIFY(down.vertical);
        QCOMPARE(down.frames, std::vector<int>({241, 842, 1443}));
        QCOMPARE(down.end, 240 + 1203);
        const Slide left = slideOf(kFromRight, 1443, 1203, 1203);
        QVERIFY(!left.vertical);
        QCOMPARE(left.frames, std::vector<int>({1443 - 1}));
        QCOMPARE(left.end, 240);
        QCOMPARE(slideOf(kFromLeft, 240, 1203, 1203).frames, std::vector<int>({240, 1443}));
        QVERIFY(!slideOf(kFromLeft, 240, 1203, 1203).vertical);
        QCOMPARE(slideOf(kFromBelow, 1443, 1203, 1203).end, 240);
        QVERIFY(slideOf(kFromBelow, 1443, 1203, 1203).vertical);
        QVERIFY(slideOf(kNone, 240, 1203, 6).frames.empty());
    }

    // The key table: each arrow, and the keypad's and the top row's digit that stands for it, asks for the
    // tile on the far side of the empty cell to travel that way.
    void directionsOfKeys() {
        const std::pair<int, int> rows[] = {
            {37, kFromRight},  {100, kFromRight}, {52, kFromRight}, {38, kFromBelow},
            {104, kFromBelow}, {56, kFromBelow},  {39, kFromLeft},  {102, kFromLeft},
            {54, kFromLeft},   {40, kFromAbove},  {98, kFromAbove}, {50, kFromAbove},
            {65, kNone},       {53, kNone},       {101, kNone},     {0, kNone}};
        for (const auto& [key, direction] : rows) {
            QVERIFY2(directionOfKey(key) == direction, qPrintable(QString::number(key)));
        }
    }

    void solvedIgnoresBottomRight() {
        Board b = boardFromText("0 1 2 / 3 4 5 / 6 7 _");
        QVERIFY(isSolved(b));
        b.myBoard[2][2] = 0; // whatever the bottom-right cell holds
        QVERIFY(isSolved(b));
        b.myBoard[2][2] = 99;
        QVERIFY(isSolved(b));
        QVERIFY(!isSolved(boardFromText("0 1 2 / 3 4 5 / 6 _ 7")));
        QVERIFY(!isSolved(boardFromText("1 0 2 / 3 4 5 / 6 7 _")));
        QVERIFY(!isSolved(boardFromText("0 1 2 / 3 4 _ / 6 7 5")));
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "test_board.moc"
