// The formulas: shuffle count and direction at their cut points, clicks, the clock text,
// rounding.
#include "engine/rounding.h"
#include "engine/rules.h"
#include "support/boardtext.h"

#include <QTest>
#include <cmath>

using namespace engine;

class TestRules : public QObject {
    Q_OBJECT
private slots:
    void nearestHalvesToEven() {
        QCOMPARE(engine::nearest(2.5), 2);
        QCOMPARE(engine::nearest(3.5), 4);
        QCOMPARE(engine::nearest(-2.5), -2);
        QCOMPARE(engine::nearest(-3.5), -4);
        QCOMPARE(engine::nearest(2.4999999), 2);
        QCOMPARE(engine::nearest(2.5000001), 3);
        QCOMPARE(engine::nearest(1002.5), 1002);
        QCOMPARE(engine::nearest(601.5), 602);
    }

    void shuffleCountRange() {
        for (int n = 2; n <= 10; ++n) {
            QCOMPARE(shuffleCount(0.0, n), 100);
            QCOMPARE(shuffleCount(std::nextafter(1.0, 0.0), n), 100 + 5 * n * n);
        }
        QCOMPARE(shuffleCount(0.5, 3), 122); // 122.5 goes to the even 122
        QCOMPARE(shuffleCount(0.1, 10), 150);
    }

    void shuffleDirectionCutPoints_data() {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("direction");
        const double sixth = 1.0 / 6.0;
        const double half = 0.5;
        const double fiveSixths = 5.0 / 6.0;
        // One ulp below a cut point rounds back onto it when multiplied by 3; a millionth of a millionth does
        // not.
        const double below = 1e-12;
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("just below 1/6") << sixth - below << 1;
        QTest::newRow("at 1/6") << sixth << 2;
        QTest::newRow("just below 1/2") << half - below << 2;
        QTest::newRow("at 1/2") << half << 2;
        QTest::newRow("just above 1/2") << half + below << 3;
        QTest::newRow("just below 5/6") << fiveSixths - below << 3;
        QTest::newRow("at 5/6") << fiveSixths << 4;
        QTest::newRow("just below 1") << std::nextafter(1.0, 0.0) << 4;
    }
    void shuffleDirectionCutPoints() {
        QFETCH(double, r);
        QFETCH(int, direction);
        QCOMPARE(shuffleDirection(r), direction);
    }

    void clickNeighboursInOrder() {
        const Board b = boardFromText("0 1 2 / 3 _ 5 / 6 7 4");
        QCOMPARE(clickToDirection(b, 3), int(kFromLeft));
        QCOMPARE(clickToDirection(b, 5), int(kFromRight));
        QCOMPARE(clickToDirection(b, 1), int(kFromAbove));
        QCOMPARE(clickToDirection(b, 7), int(kFromBelow));
        QCOMPARE(clickToDirection(b, 0), int(kNone)); // diagonal
        QCOMPARE(clickToDirection(b, 4), int(kNone)); // two away
    }

    void clickAtTheEdgesStaysInsideTheGrid() {
        // Gap in the last column: tiles beyond it belong to no game, even if a bigger game left values there.
        Board b = boardFromText("0 1 _ / 3 4 2 / 6 7 5");
        b.myBoard[3][0] = 9;
        QCOMPARE(clickToDirection(b, 1), int(kFromLeft));
        QCOMPARE(clickToDirection(b, 2), int(kFromBelow));
        QCOMPARE(clickToDirection(b, 9), int(kNone));
        b = boardFromText("0 1 2 / 3 4 5 / _ 6 7");
        QCOMPARE(clickToDirection(b, 6), int(kFromRight));
        QCOMPARE(clickToDirection(b, 3), int(kFromAbove));
    }

    void clockText_data() {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << qint64(0) << "00:00";
        QTest::newRow("2:05") << qint64(125) << "02:05";
        QTest::newRow("59:59") << qint64(3599) << "59:59";
        QTest::newRow("an hour wraps") << qint64(3600) << "00:00";
        QTest::newRow("1:02:03 shows 02:03") << qint64(3723) << "02:03";
        QTest::newRow("a day and a bit") << qint64(86400 + 61) << "01:01";
        QTest::newRow("negative is start") << qint64(-5) << "00:00";
    }
    void clockText() {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(engine::clockText(seconds)), text);
    }

    void playerStepPerSize() {
        QCOMPARE(playerStep(2005), 10);
        QCOMPARE(playerStep(1504), 8);
        QCOMPARE(playerStep(1002), 5);
        QCOMPARE(playerStep(602), 3);
        QCOMPARE(playerStep(3008), 15);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "test_rules.moc"
