// The ranking table window: what its lists show for a given file, and the slides driven by real clicks.
#include "platform/twips.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"
#include "support/support.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using ranking::UFRank;

namespace {
constexpr int kPitch = 2805;

// Text lines as the program stores them: code page 932, every line ended by CR LF.
QByteArray cp932(const QStringList& lines) {
    QStringEncoder encode("windows-31j");
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += encode(line);
        bytes += "\r\n";
    }
    return bytes;
}

// A complete 49-line file; filled maps (size, place) to the entry line's time and name.
QStringList fileLines(const std::map<std::pair<int, int>, QString>& filled = {}) {
    QStringList lines;
    for (int n = 3; n <= 10; ++n) {
        lines << QStringLiteral("%1×%1").arg(n);
        for (int place = 1; place <= 5; ++place) {
            const auto it = filled.find({n, place});
            lines << QString::number(place) + QLatin1Char(',') +
                         (it == filled.end() ? QStringLiteral(",") : it->second);
        }
    }
    lines << QStringLiteral("0");
    return lines;
}

QStringList emptySlots() {
    return {QStringLiteral("1\t\t"), QStringLiteral("2\t\t"), QStringLiteral("3\t\t"),
            QStringLiteral("4\t\t"), QStringLiteral("5\t\t")};
}

QStringList itemTexts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    return texts;
}

// Chooses an entry of the selector as a player does: a click opens the list, a click on the entry picks it.
void chooseFromList(QComboBox* combo, int index) {
    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    // The open list ignores a release that comes too soon after it appeared.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QPoint at = view->visualRect(view->model()->index(index, 0)).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
}
} // namespace

using namespace std::chrono_literals;

class TestUFRank : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    testing::RecordingSound m_sound;
    testing::ManualClock m_clock; // paces the list slides
    std::unique_ptr<ranking::Module1> m_ranking;

    QString filePath() const { return m_dir->filePath(QStringLiteral("ranking.txt")); }
    void writeFile(const QByteArray& bytes) {
        QFile file(filePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static QComboBox* selector(UFRank& w) { return w.findChild<QComboBox*>(QStringLiteral("Combo1")); }
    static QPushButton* button(UFRank& w, const char* name) {
        return w.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static QListWidget* list(UFRank& w, int i) {
        return w.findChild<QListWidget*>(QStringLiteral("List2_%1").arg(i));
    }
    // List k in view at left 120, every other list 2805 twips from its neighbour, on screen as in the
    // numbers.
    static void verifyShowing(UFRank& w, int k) {
        for (int i = 0; i < ranking::kListCount; ++i) {
            QCOMPARE(list(w, i)->x(), platform::twipsToPixelsRounded((i - k) * kPitch + 120));
        }
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_ranking = std::make_unique<ranking::Module1>(m_dir->path());
        m_sound.m_played->clear();
    }

    void listLinesShowTheFileWithTabs() {
        const auto lines =
            ranking::rankListLines(cp932(fileLines({{{4, 1}, QStringLiteral("02:05,a,b,c")},
                                                    {{10, 5}, QStringLiteral("59:59,山田～")},
                                                    {{3, 2}, QStringLiteral("00:41,04/07/15")}})));
        QCOMPARE(lines[1][0], QStringLiteral("1\t02:05\ta\tb\tc"));
        QCOMPARE(lines[7][4], QStringLiteral("5\t59:59\t山田～"));
        QCOMPARE(lines[0][1], QStringLiteral("2\t00:41\t04/07/15"));
        QCOMPARE(lines[0][0], QStringLiteral("1\t\t"));
        for (const QStringList& size : lines) {
            QCOMPARE(size.size(), 5);
        }
    }

    void listLinesFromDamagedFiles() {
        // Ends right after the "7×7" header: the sizes it lacks show empty slots.
        QStringList shortFile =
            fileLines({{{6, 3}, QStringLiteral("01:02,x")}, {{7, 1}, QStringLiteral("01:00,y")}});
        shortFile = shortFile.mid(0, 4 * 6 + 1);
        auto lines = ranking::rankListLines(cp932(shortFile));
        QCOMPARE(lines[3][2], QStringLiteral("3\t01:02\tx"));
        for (int i = 4; i < 8; ++i) {
            QCOMPARE(lines[i], emptySlots());
        }

        // Nothing at all, and bytes that are no text.
        QCOMPARE(ranking::rankListLines({})[0], emptySlots());
        lines = ranking::rankListLines(QByteArray("\xff\x81\x00\x81", 4) + QByteArray(5000, '\n'));
        QCOMPARE(lines[7], QStringList(5, QString()));

        // Lines ended by LF alone, a last line without an end, and extra lines past the closing one.
        QByteArray edited = cp932(fileLines({{{10, 5}, QStringLiteral("09:09,z")}})).replace("\r\n", "\n");
        edited += "garbage,line\nmore";
        lines = ranking::rankListLines(edited);
        QCOMPARE(lines[7][4], QStringLiteral("5\t09:09\tz"));
        QCOMPARE(lines[7][3], QStringLiteral("4\t\t"));

        // A line without commas is shown as it stands.
        QStringList odd = fileLines();
        odd[1] = QStringLiteral("not an entry");
        QCOMPARE(ranking::rankListLines(cp932(odd))[0][0], QStringLiteral("not an entry"));
    }

    void opensOnTheFirstSizeWithOneSound() {
        writeFile(cp932(
            fileLines({{{3, 1}, QStringLiteral("00:30,a,b")}, {{9, 2}, QStringLiteral("12:00,鈴木")}})));
        UFRank w(*m_ranking, m_sound, m_clock);
        QCOMPARE(w.windowTitle(), QStringLiteral("ランキング表"));
        QCOMPARE(w.size(), QSize(202, 133));
        QCOMPARE(selector(w)->count(), 8);
        QCOMPARE(selector(w)->itemText(7), QStringLiteral("10×10"));
        QCOMPARE(selector(w)->currentText(), QStringLiteral("3×3"));
        verifyShowing(w, 0);
        QCOMPARE(*m_sound.m_played, QStringList{platform::programFolder() + QStringLiteral("/move.wav")});
        QCOMPARE(itemTexts(list(w, 0))[0], QStringLiteral("1\t00:30\ta\tb"));
        QCOMPARE(itemTexts(list(w, 6))[1], QStringLiteral("2\t12:00\t鈴木"));
        QCOMPARE(list(w, 0)->font().family(), QStringLiteral("ＭＳ 明朝"));
        QCOMPARE(list(w, 0)->font().pointSize(), 9);
        QCOMPARE(list(w, 0)->palette().color(QPalette::Base), w.palette().color(QPalette::Button));

        // The window shows what the file holds when it opens, not what the program has in memory.
        QVERIFY(m_ranking->myRankLoad());
        writeFile(cp932(fileLines({{{3, 1}, QStringLiteral("00:31,new")}})));
        UFRank again(*m_ranking, m_sound, m_clock);
        QCOMPARE(m_ranking->tables().RankName[3][1], QStringLiteral("a"));
        QCOMPARE(itemTexts(list(again, 0))[0], QStringLiteral("1\t00:31\tnew"));
        QCOMPARE(m_sound.m_played->size(), 2);
    }

    void missingFileIsCreatedEmpty() {
        QVERIFY(!QFile::exists(filePath()));
        UFRank w(*m_ranking, m_sound, m_clock);
        QFile file(filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), ranking::emptyRanking());
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(itemTexts(list(w, i)), emptySlots());
        }
    }

    void unreadableFileOpensEmptyAndArrowsDoNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << "folder";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to /dev/zero") << "/dev/zero";
    }

    void unreadableFileOpensEmptyAndArrowsDoNothing() {
        // Each exists but is no file that can be read; none may hold the window up.
        QFETCH(QString, kind);
        if (kind == u"folder") {
            QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ranking.txt")));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(filePath()).constData(), 0644), 0);
        } else {
            QVERIFY(QFile::link(kind, filePath()));
        }
        UFRank w(*m_ranking, m_sound, m_clock);
        w.show();
        QCOMPARE(selector(w)->count(), 0);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(list(w, i)->count(), 0);
        }
        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
        QTest::mouseClick(button(w, "Command2"), Qt::LeftButton);
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        verifyShowing(w, 0);
        QVERIFY(m_sound.m_played->isEmpty());
        QVERIFY(w.isVisible());
    }

    void arrowsStepOneSizeAndIgnoreClicksDuringTheSlide() {
        UFRank w(*m_ranking, m_sound, m_clock);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QTest::mouseClick(button(w, "Command2"), Qt::LeftButton); // "←" at the first size
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        verifyShowing(w, 0);
        QCOMPARE(m_sound.m_played->size(), 1);

        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton); // "→"
        QCoreApplication::processEvents(); // the choice reaches the slide through the event loop
        m_clock.advance(120ms);
        QVERIFY(w.isSliding());
        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
        QTest::mouseClick(button(w, "Command2"), Qt::LeftButton);
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        QVERIFY(!w.isSliding());
        QVERIFY(w.isVisible());
        QCOMPARE(selector(w)->currentIndex(), 1);
        verifyShowing(w, 1);
        QCOMPARE(m_sound.m_played->size(), 2);

        // Once the slide is over the buttons work again.
        QTest::mouseClick(button(w, "Command2"), Qt::LeftButton);
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        QVERIFY(!w.isSliding());
        verifyShowing(w, 0);
        QTest::mouseClick(button(w, "Command1"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }

    void selectorSlidesAllTheWayAndStopsAtTheEnd() {
        UFRank w(*m_ranking, m_sound, m_clock);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        chooseFromList(selector(w), 7);
        QTRY_VERIFY(w.isSliding());
        m_clock.advance(10s);
        QVERIFY(!w.isSliding());
        verifyShowing(w, 7);
        QCOMPARE(m_sound.m_played->size(), 2);

        QTest::mouseClick(button(w, "Command3"), Qt::LeftButton); // "→" at the last size
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        verifyShowing(w, 7);
        QCOMPARE(m_sound.m_played->size(), 2);
    }

    void newChoiceDuringASlideEndsOnIt() {
        UFRank w(*m_ranking, m_sound, m_clock);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // A long slide toward 10×10, turned back to 6×6 part-way, and then to 8×8 by the keyboard.
        chooseFromList(selector(w), 7);
        QTRY_VERIFY(w.isSliding());
        m_clock.advance(150ms);
        chooseFromList(selector(w), 3);
        QTRY_COMPARE(selector(w)->currentIndex(), 3);
        QCoreApplication::processEvents();
        const int leftWhenTurned = list(w, 0)->x();
        m_clock.advance(100ms);
        selector(w)->setFocus();
        QTest::keyClick(selector(w), Qt::Key_Down);
        QTest::keyClick(selector(w), Qt::Key_Down);
        QCoreApplication::processEvents();
        m_clock.advance(10s);
        QVERIFY(!w.isSliding());
        // It really was under way.
        QVERIFY(leftWhenTurned < platform::twipsToPixelsRounded(120) &&
                leftWhenTurned > platform::twipsToPixelsRounded(-7 * kPitch + 120));
        QCOMPARE(selector(w)->currentIndex(), 5);
        verifyShowing(w, 5);
        QVERIFY(m_sound.m_played->size() >= 4);
    }

    void closingDuringASlideStopsIt() {
        const std::vector<std::function<void(UFRank&)>> closers{
            [](UFRank& w) { QTest::keyClick(&w, Qt::Key_Escape); },
            [](UFRank& w) { w.close(); }, // the close box and Alt+F4
        };
        for (const auto& close : closers) {
            UFRank w(*m_ranking, m_sound, m_clock);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QTest::mouseClick(button(w, "Command3"), Qt::LeftButton);
            QCoreApplication::processEvents();
            m_clock.advance(150ms);
            QVERIFY(w.isSliding());
            close(w);
            const int leftWhenClosed = list(w, 0)->x();
            m_clock.advance(10s);
            QCOMPARE(w.result(), int(QDialog::Rejected));
            QVERIFY(!w.isSliding());
            QVERIFY(leftWhenClosed < platform::twipsToPixelsRounded(120) &&
                    leftWhenClosed > platform::twipsToPixelsRounded(120 - kPitch));
            QCOMPARE(list(w, 0)->x(), leftWhenClosed); // stopped at once, not run to the end
        }
    }

    void deletedDuringASlide() {
        // Closed with delete-on-close, or deleted outright as when its owner goes: the slide must not
        // touch the window after either.
        for (const bool byClosing : {true, false}) {
            QPointer<UFRank> w = new UFRank(*m_ranking, m_sound, m_clock);
            w->setAttribute(Qt::WA_DeleteOnClose);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QTest::mouseClick(button(*w, "Command3"), Qt::LeftButton);
            QCoreApplication::processEvents();
            m_clock.advance(150ms);
            QVERIFY(w->isSliding());
            byClosing ? void(w->close()) : w->deleteLater();
            QTRY_VERIFY(w.isNull());
            QVERIFY(!m_clock.anyAlarmSet());
            m_clock.advance(10s);
        }
    }
};

QTEST_MAIN(TestUFRank)
#include "test_ufrank.moc"
