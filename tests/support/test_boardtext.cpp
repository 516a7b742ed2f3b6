// Boards as the tests write them: read and written back, and what is no board refused with its fault named.
#include "support/boardtext.h"

#include <QTest>
#include <stdexcept>

using namespace engine;

class TestBoardText : public QObject {
    Q_OBJECT
private slots:
    void boardTextRoundTrip() {
        const Board b = boardFromText("3 1 2 / 0 _ 4 / 6 7 5");
        QCOMPARE(int(b.myGridN), 3);
        QCOMPARE(int(b.myBlankX), 1);
        QCOMPARE(int(b.myBlankY), 1);
        QCOMPARE(QString::fromStdString(boardToText(b)), QString("3 1 2 / 0 _ 4 / 6 7 5"));
    }

    // A text that is no board is refused with its fault named, rather than read into a board no game has.
    void boardTextRejectsWhatIsNoBoard_data() {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("fault");
        QTest::newRow("ragged") << "0 1 2 / 3 _ / 4 5 6 7"
                                << "row 2 has 2 cells, not 3";
        QTest::newRow("a row past the array") << "0 1 2 3 4 5 6 7 8 9 10 11 / _"
                                              << "row 1 has 12 cells, not 2";
        QTest::newRow("one row") << "_"
                                 << "1 rows, not 2 to 10";
        QTest::newRow("eleven rows") << QString("0 / ").repeated(10) + "_"
                                     << "11 rows, not 2 to 10";
        QTest::newRow("missing tile") << "0 1 2 / 3 _ 5 / 6 7 5"
                                      << "tile 4 stands 0 times";
        QTest::newRow("doubled tile") << "0 1 1 / 3 _ 5 / 6 7 4"
                                      << "tile 1 stands 2 times";
        QTest::newRow("the missing piece") << "0 1 2 / 3 _ 5 / 6 7 8"
                                           << "\"8\" is no tile";
        QTest::newRow("not a number") << "0 1 2 / 3 x 5 / 6 7 _"
                                      << "\"x\" is no tile";
        QTest::newRow("no empty cell") << "0 1 2 / 3 4 5 / 6 7 0"
                                       << "0 empty cells";
        QTest::newRow("two empty cells") << "0 1 _ / 3 4 5 / 6 _ 7"
                                         << "2 empty cells";
    }
    void boardTextRejectsWhatIsNoBoard() {
        QFETCH(QString, board);
        QFETCH(QString, fault);
        try {
            boardFromText(board.toStdString());
            QFAIL("accepted");
        } catch (const std::invalid_argument& e) {
            QVERIFY2(QString::fromStdString(e.what()).contains(fault), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestBoardText)
#include "test_boardtext.moc"
