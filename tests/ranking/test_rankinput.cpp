// The name entry: what it shows, its keys, what OK writes whatever happened while it was open, and the
// hand-over from a game solved in the main window.
#include "app/ufmain.h"
#include "ranking/module1.h"
#include "ranking/ufrankinput.h"
#include "support/support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace ranking;
using namespace std::chrono_literals;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entry lines of one size in the file, as text.
QStringList sectionOf(const QByteArray& file, int size) {
    Tables t;
    readRanking(file, t);
    QStringList lines;
    for (int place = 1; place <= kPlaces; ++place) {
        lines << t.RankTime[size][place] + QLatin1Char(',') + t.RankName[size][place];
    }
    return lines;
}

// Sets one size of the ranking file to the given "time,name" entries from place 1 down.
void writeRankingOf(Module1& ranking, int size, const QStringList& entries) {
    QVERIFY(ranking.myRankLoad());
    Tables t = ranking.tables();
    for (int place = 1; place <= kPlaces; ++place) {
        const QString entry = place <= entries.size() ? entries[place - 1] : QString();
        t.RankTime[size][place] = entry.section(QLatin1Char(','), 0, 0);
        t.RankName[size][place] = entry.section(QLatin1Char(','), 1);
    }
    QVERIFY(writeRankingFile(ranking.rankingPath(), writeRanking(t)).ok);
}

// Opens the entry for a time as a finished game would: from the file as it is now.
UFRankInput* openEntry(
    const std::shared_ptr<testing::TestDialogs>& dialogs, Module1& ranking, int size, const QString& time,
    std::function<QDate()> today = [] { return QDate(2004, 7, 15); }) {
    const Placement placement = ranking.placementFor(size, time);
    if (placement.outcome != Placement::Outcome::Placed) {
        return nullptr;
    }
    auto* dialog = new UFRankInput({size, time, placement.place}, placement.shown, ranking, today, dialogs);
    dialog->showOver(nullptr);
    return dialog;
}

template <typename T> T* child(QWidget* w, const QString& name) {
    T* found = w->findChild<T*>(name);
    if (!found) {
        qFatal("no control %s", qPrintable(name));
    }
    return found;
}
QLineEdit* nameBox(QWidget* w, int row) {
    return child<QLineEdit>(w, QStringLiteral("Text1_%1").arg(row));
}
QPushButton* okButton(QWidget* w) {
    return child<QPushButton>(w, QStringLiteral("Command1"));
}

QList<UFRankInput*> openDialogs() {
    QList<UFRankInput*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<UFRankInput*>(w); d && d->isVisible()) {
            found << d;
        }
    }
    return found;
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Draws that make Start's shuffle 100 moves round the bottom-right square of four cells (1, 3, 2, 4 over and
// over): 25 rounds leave three tiles turned one step, which the keys right, down, left, up turn back.
// Every attempt moves a tile, so each game takes exactly 101 draws and the script holds one set per game.
std::vector<double> shuffleRoundTheCorner(int games) {
    std::vector<double> draws;
    for (int game = 0; game < games; ++game) {
        draws.push_back(0.0); // 100 moves
        for (int round = 0; round < 25; ++round) {
            draws.insert(draws.end(), {0.0, 0.7, 0.5, 0.99});
        }
    }
    return draws;
}
constexpr int kRight = 39, kDown = 40, kLeft = 37, kUp = 38;

struct Game {
    testing::ManualClock clock;
    std::unique_ptr<UFMain> window;

    Game(Module1& ranking, std::shared_ptr<testing::TestDialogs> dialogs) {
        UFMain::Services services;
        services.dialogs = std::move(dialogs);
        services.random = std::make_unique<testing::ScriptedSource>(shuffleRoundTheCorner(3));
        services.clock = std::make_unique<testing::ManualClock>(clock); // shares the test's clock
        services.sound = std::make_unique<testing::RecordingSound>();
        services.slideDuration = std::chrono::milliseconds(1);
        window = std::make_unique<UFMain>(ranking, std::move(services));
        window->show();
    }
    QComboBox* sizeList() const { return child<QComboBox>(window.get(), QStringLiteral("Combo1")); }
    // Starts a game of the selected size, lets the time pass and solves it with the last four moves.
    void playFor(std::chrono::seconds taken, const std::function<void()>& duringGame = {}) {
        window->Command2_Click();
        QVERIFY(window->isPlaying());
        QVERIFY(!engine::isSolved(window->board()));
        clock.advance(taken);
        if (duringGame) {
            duringGame();
        }
        for (const int key : {kRight, kDown, kLeft, kUp}) {
            window->Text1_KeyDown(key, Qt::NoModifier);
            clock.advance(std::chrono::milliseconds(1)); // the slide's whole time
            QVERIFY(window->phase() != UFMain::Phase::Sliding);
        }
        QVERIFY(!window->isPlaying());
    }
};

} // namespace

class TestRankInput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showsThePlacesWithTheNewTimeInserted();
    void enterMovesTheFocusAndASecondEnterPressesOk();
    void typedNamesAreStoredAsTheFileCanHoldThem();
    void okPlacesTheEntryInTheFileAsItIsThen();
    void entryOutrankedMeanwhileIsToldAndWritesNothing();
    void unreadableFileIsReportedAndNothingWritten();
    void closeBoxWritesNothing();
    void failedWriteIsReportedAndTheEntryKept();

    void solvedGameOpensTheEntryForItsSizeAndTime();
    void hourLongAndTwoByTwoGamesEarnNoPlace();
    void entryOutlivesTheMainWindow();
    void rankingUnreadableAtTheFinishIsPlacedAtOk();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Module1> m_ranking;
    std::shared_ptr<testing::TestDialogs> m_dialogs = std::make_shared<testing::TestDialogs>();
    std::unique_ptr<testing::MessageRecorder> m_messages;
    QString path() const { return m_dir->filePath(QStringLiteral("ranking.txt")); }
};

void TestRankInput::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ranking = std::make_unique<Module1>(m_dir->path());
    m_messages = std::make_unique<testing::MessageRecorder>(m_dialogs);
}

void TestRankInput::cleanup() {
    for (UFRankInput* d : openDialogs()) {
        d->close();
    }
    flushDeletes();
    m_messages.reset();
    m_ranking.reset();
    m_dir.reset();
}

void TestRankInput::showsThePlacesWithTheNewTimeInserted() {
    writeRankingOf(*m_ranking, 6, {"01:10,A", "01:20,B", "01:20,C"});
    UFRankInput* dialog = openEntry(m_dialogs, *m_ranking, 6, QStringLiteral("01:20"));
    QVERIFY(dialog);
    QCOMPARE(dialog->entry().place, 4); // equal times stay above the new one
    QCOMPARE(dialog->windowTitle(), QStringLiteral("ランキング入力"));
    QCOMPARE(dialog->size(), QSize(221, 226));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("LCombo1"))->text(), QStringLiteral("6×6"));
    const QStringList times{"01:10", "01:20", "01:20", "01:20", ""};
    const QStringList names{"A", "B", "C", "", ""};
    const QColor buttonFace = dialog->palette().color(QPalette::Button);
    for (int i = 0; i < kPlaces; ++i) {
        QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label2_%1").arg(i))->text(), QString::number(i + 1));
        QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label4_%1").arg(i))->text(), times[i]);
        QCOMPARE(nameBox(dialog, i)->text(), names[i]);
        QCOMPARE(nameBox(dialog, i)->isEnabled(), i == 3);
        QCOMPARE(nameBox(dialog, i)->palette().color(QPalette::Base),
                 i == 3 ? QColor(Qt::white) : buttonFace);
    }
    QCOMPARE(dialog->focusWidget(), nameBox(dialog, 3));
    QCOMPARE(okButton(dialog)->geometry(), QRect(128, 192, 81, 25));
    QCOMPARE(nameBox(dialog, 4)->geometry(), QRect(96, 168, 113, 18));
    QVERIFY(!dialog->isModal());
    QVERIFY(!dialog->parentWidget());
    QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
    // Nothing is written until OK.
    QCOMPARE(sectionOf(readFile(path()), 6), (QStringList{"01:10,A", "01:20,B", "01:20,C", ",", ","}));
}

void TestRankInput::enterMovesTheFocusAndASecondEnterPressesOk() {
    QPointer<UFRankInput> dialog = openEntry(m_dialogs, *m_ranking, 4, QStringLiteral("02:05"));
    QVERIFY(dialog);
    const QByteArray before = readFile(path());
    QTest::keyClick(nameBox(dialog, 0), Qt::Key_Return);
    QCOMPARE(dialog->focusWidget(), okButton(dialog));
    QVERIFY(dialog->isVisible());
    QCOMPARE(readFile(path()), before);

    QTest::keyClick(okButton(dialog), Qt::Key_Return);
    flushDeletes();
    QVERIFY(dialog.isNull());
    // The example of the file layout: an unnamed 4×4 game of 2:05 on 15 July 2004.
    const QByteArray expected = emptyRanking().replace("4\x81\x7E"
                                                       "4\r\n1,,",
                                                       "4\x81\x7E"
                                                       "4\r\n1,02:05,04/07/15");
    QCOMPARE(readFile(path()).toHex(), expected.toHex());
}

void TestRankInput::typedNamesAreStoredAsTheFileCanHoldThem() {
    UFRankInput* dialog = openEntry(m_dialogs, *m_ranking, 3, QStringLiteral("00:42"));
    QVERIFY(dialog);
    nameBox(dialog, 0)->setText(QStringLiteral("さくら,2\n位\t😀é"));
    dialog->Command1_Click();
    // 1,00:42,さくら,2 位 ?? : the comma as typed, blanks for the break and the tab, "?" for what cp932
    // lacks.
    QVERIFY(readFile(path()).contains(
        QByteArray::fromHex("0D0A312C30303A34322C82B382AD82E72C322088CA203F3F0D0A")));
}

void TestRankInput::okPlacesTheEntryInTheFileAsItIsThen() {
    writeRankingOf(*m_ranking, 4, {"01:00,X", "02:00,Y"});
    writeRankingOf(*m_ranking, 7, {"03:00,other size"});
    QPointer<UFRankInput> first = openEntry(m_dialogs, *m_ranking, 4, QStringLiteral("01:30"));
    QVERIFY(first);
    QCOMPARE(first->entry().place, 2);

    // While it is open: the ranking is cleared, and a second game's entry is opened and stored.
    QVERIFY(m_ranking->myRankInit().ok);
    UFRankInput* second = openEntry(m_dialogs, *m_ranking, 4, QStringLiteral("01:40"));
    QVERIFY(second);
    nameBox(second, 0)->setText(QStringLiteral("second"));
    second->Command1_Click();
    QCOMPARE(sectionOf(readFile(path()), 4), (QStringList{"01:40,second", ",", ",", ",", ","}));

    // The first entry goes where 1:30 ranks now, above the second game, and keeps it.
    nameBox(first, 1)->setText(QStringLiteral("first"));
    first->Command1_Click();
    QCOMPARE(sectionOf(readFile(path()), 4), (QStringList{"01:30,first", "01:40,second", ",", ",", ","}));

    // Two entries open on the same file, stored in the other order: neither takes the other's place.
    writeRankingOf(*m_ranking, 5, {"01:00,X"});
    UFRankInput* slower = openEntry(m_dialogs, *m_ranking, 5, QStringLiteral("01:30"));
    UFRankInput* faster = openEntry(m_dialogs, *m_ranking, 5, QStringLiteral("00:50"));
    QCOMPARE(slower->entry().place, 2);
    nameBox(faster, 0)->setText(QStringLiteral("fast"));
    faster->Command1_Click();
    nameBox(slower, 1)->setText(QStringLiteral("slow"));
    slower->Command1_Click();
    QCOMPARE(sectionOf(readFile(path()), 5), (QStringList{"00:50,fast", "01:00,X", "01:30,slow", ",", ","}));
}

void TestRankInput::entryOutrankedMeanwhileIsToldAndWritesNothing() {
    QPointer<UFRankInput> dialog = openEntry(m_dialogs, *m_ranking, 8, QStringLiteral("09:00"));
    QVERIFY(dialog);
    writeRankingOf(*m_ranking, 8, {"01:00,a", "02:00,b", "03:00,c", "04:00,d", "05:00,e"});
    const QByteArray full = readFile(path());
    dialog->Command1_Click();
    QCOMPARE(m_messages->asked().size(), std::size_t(1));
    const platform::MessageRequest& asked = m_messages->asked().front();
    QCOMPARE(asked.title, QStringLiteral("登録不可通知"));
    QCOMPARE(asked.icon, platform::MessageIcon::Information);
    QVERIFY(asked.text.startsWith(QStringLiteral("ランキングに登録出来ませんでした。")));
    flushDeletes();
    QVERIFY(dialog.isNull());
    QCOMPARE(readFile(path()), full);
}

void TestRankInput::unreadableFileIsReportedAndNothingWritten() {
    QPointer<UFRankInput> dialog = openEntry(m_dialogs, *m_ranking, 5, QStringLiteral("01:00"));
    QVERIFY(dialog);
    // Replaced by a FIFO while the dialog is open: OK must neither hang on it nor write over it.
    QVERIFY(QFile::remove(path()));
    QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0644), 0);
    dialog->Command1_Click();
    QCOMPARE(m_messages->asked().size(), std::size_t(1));
    QCOMPARE(m_messages->asked().front().title, QStringLiteral("読込不可通知"));
    QCOMPARE(m_messages->asked().front().icon, platform::MessageIcon::Stop);
    flushDeletes();
    QVERIFY(dialog && dialog->isVisible()); // the name is still there to try again
    QVERIFY(QFileInfo(path()).exists() && !QFileInfo(path()).isFile());
}

void TestRankInput::closeBoxWritesNothing() {
    writeRankingOf(*m_ranking, 9, {"01:00,a"});
    const QByteArray before = readFile(path());
    QPointer<UFRankInput> dialog = openEntry(m_dialogs, *m_ranking, 9, QStringLiteral("00:30"));
    QVERIFY(dialog);
    nameBox(dialog, 0)->setText(QStringLiteral("never stored"));
    dialog->close();
    flushDeletes();
    QVERIFY(dialog.isNull());
    QCOMPARE(readFile(path()), before);
    QVERIFY(m_ranking->myRankLoad()); // the pending entry is gone from the tables too
    QCOMPARE(m_ranking->tables().RankName[9][1], QStringLiteral("a"));
}

void TestRankInput::failedWriteIsReportedAndTheEntryKept() {
    // The ranking's folder is a link: taken away while the dialog is open, the file cannot be written.
    QTemporaryDir other;
    const QString link = other.filePath(QStringLiteral("ranking"));
    QVERIFY(QFile::link(m_dir->path(), link));
    Module1 linked(link);
    QPointer<UFRankInput> dialog = openEntry(m_dialogs, linked, 10, QStringLiteral("12:34"));
    QVERIFY(dialog);
    QVERIFY(QFile::remove(link));
    nameBox(dialog, 0)->setText(QStringLiteral("me"));
    dialog->Command1_Click();
    QCOMPARE(m_messages->asked().size(), std::size_t(1));
    const platform::MessageRequest& asked = m_messages->asked().front();
    QCOMPARE(asked.icon, platform::MessageIcon::Stop);
    QCOMPARE(asked.title, writeFailureTitle());
    QVERIFY(asked.text.startsWith(QStringLiteral("ランキングを保存出来ませんでした。")));
    flushDeletes();
    QVERIFY(dialog && dialog->isVisible()); // the typed name is still there to try again

    QVERIFY(QFile::link(m_dir->path(), link));
    dialog->Command1_Click();
    flushDeletes();
    QVERIFY(dialog.isNull());
    QCOMPARE(sectionOf(readFile(path()), 10).front(), QStringLiteral("12:34,me"));
}

void TestRankInput::solvedGameOpensTheEntryForItsSizeAndTime() {
    Game game(*m_ranking, m_dialogs);
    game.window->M32_Click(1); // 3×3
    // Choosing another size during the game does not move its time to that size's ranking.
    game.playFor(65s, [&] { game.sizeList()->setCurrentIndex(7); });
    QCOMPARE(m_messages->asked().size(), std::size_t(1));
    QCOMPARE(m_messages->asked().front().text, QStringLiteral("完成です！"));
    const QList<UFRankInput*> dialogs = openDialogs();
    QCOMPARE(dialogs.size(), 1);
    UFRankInput* dialog = dialogs.front();
    QCOMPARE(dialog->entry().size, 3);
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("LCombo1"))->text(), QStringLiteral("3×3"));
    QCOMPARE(dialog->entry().time, QStringLiteral("01:05"));
    QCOMPARE(dialog->entry().place, 1);
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label4_0"))->text(), QStringLiteral("01:05"));
    dialog->Command1_Click();
    QCOMPARE(sectionOf(readFile(path()), 3).front(),
             QStringLiteral("01:05,04/07/15")); // the game's own clock

    // A second, slower game of the same size lands below it.
    game.window->M32_Click(1);
    game.playFor(70s);
    QCOMPARE(openDialogs().size(), 1);
    QCOMPARE(openDialogs().front()->entry().place, 2);
}

void TestRankInput::hourLongAndTwoByTwoGamesEarnNoPlace() {
    Game game(*m_ranking, m_dialogs);
    game.window->M32_Click(1);
    game.playFor(3600s + 65s); // the clock would show 01:05
    QCOMPARE(m_messages->asked().size(), std::size_t(1));
    QVERIFY(openDialogs().isEmpty());
    QCOMPARE(sectionOf(readFile(path()), 3).front(), QStringLiteral(","));

    // Text typed into the size list starts a game of two by two, for which there is no ranking.
    game.sizeList()->setCurrentIndex(-1);
    game.sizeList()->setEditText(QStringLiteral("2"));
    game.playFor(5s);
    QCOMPARE(game.window->board().myGridN, 2);
    QCOMPARE(m_messages->asked().size(), std::size_t(2));
    QVERIFY(openDialogs().isEmpty());
    QCOMPARE(readFile(path()), emptyRanking());
}

void TestRankInput::entryOutlivesTheMainWindow() {
    Game game(*m_ranking, m_dialogs);
    game.window->M32_Click(1);
    game.playFor(30s);
    QCOMPARE(openDialogs().size(), 1);
    QPointer<UFRankInput> dialog = openDialogs().front();
    game.window->close();
    QVERIFY(dialog && dialog->isVisible()); // a window of its own keeps the program running
    game.window.reset();
    flushDeletes();
    QVERIFY(dialog);
    dialog->Command1_Click(); // with the main window gone, the date still comes from the game's clock
    QCOMPARE(sectionOf(readFile(path()), 3).front(), QStringLiteral("00:30,") + dateName(game.clock.today()));
}

// A ranking that cannot be read when the game is finished decides nothing then: the entry opens on the new
// time alone, and OK places it in the file as it is by then, or says why it cannot.
void TestRankInput::rankingUnreadableAtTheFinishIsPlacedAtOk() {
    writeRankingOf(*m_ranking, 3, {"00:10,a", "00:20,b"});
    const QByteArray readable = readFile(path());
    Game game(*m_ranking, m_dialogs);
    game.window->M32_Click(1);
    QVERIFY(QFile::rename(path(), path() + QStringLiteral(".away")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ranking.txt"))); // there, but no file to read
    game.playFor(15s);
    QCOMPARE(openDialogs().size(), 1);
    QPointer<UFRankInput> dialog = openDialogs().front();
    QCOMPARE(dialog->entry().place, kNoPlace);
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label4_0"))->text(), QStringLiteral("00:15"));
    QVERIFY(nameBox(dialog, 0)->isEnabled());
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label4_1"))->text(), QString());

    nameBox(dialog, 0)->setText(QStringLiteral("me"));
    dialog->Command1_Click();
    QCOMPARE(m_messages->asked().back().title, QStringLiteral("読込不可通知"));
    flushDeletes();
    QVERIFY(dialog && dialog->isVisible());

    QVERIFY(QDir(m_dir->path()).rmdir(QStringLiteral("ranking.txt")));
    QVERIFY(QFile::rename(path() + QStringLiteral(".away"), path()));
    QCOMPARE(readFile(path()), readable);
    dialog->Command1_Click();
    flushDeletes();
    QVERIFY(dialog.isNull());
    QCOMPARE(sectionOf(readFile(path()), 3), (QStringList{"00:10,a", "00:15,me", "00:20,b", ",", ","}));

    // Readable again at OK but with no place for the time: told so, and nothing written.
    QVERIFY(QFile::rename(path(), path() + QStringLiteral(".away")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ranking.txt")));
    game.window->M32_Click(1);
    game.playFor(50s);
    QCOMPARE(openDialogs().size(), 1);
    dialog = openDialogs().front();
    QCOMPARE(dialog->entry().place, kNoPlace);
    QVERIFY(QDir(m_dir->path()).rmdir(QStringLiteral("ranking.txt")));
    QVERIFY(QFile::rename(path() + QStringLiteral(".away"), path()));
    writeRankingOf(*m_ranking, 3, {"00:10,a", "00:15,me", "00:20,b", "00:30,c", "00:40,d"});
    const QByteArray full = readFile(path());
    dialog->Command1_Click();
    QCOMPARE(m_messages->asked().back().title, QStringLiteral("登録不可通知"));
    QCOMPARE(m_messages->asked().back().text, QStringLiteral("ランキングに登録出来ませんでした。"));
    flushDeletes();
    QVERIFY(dialog.isNull());
    QCOMPARE(readFile(path()), full);
}

QTEST_MAIN(TestRankInput)
#include "test_rankinput.moc"
