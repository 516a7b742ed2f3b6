// The ranking file: its bytes against golden files, reading odd and broken files, placement, and writing
// to disk without ever losing the old file.
#include "ranking/module1.h"
#include "ranking/rankfile.h"
#include "scratch_ranking.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace ranking;

namespace {

// A fresh file, one line of hex per line of the file: "3×3" is 33 81 7E 33, "1,," is 31 2C 2C.
const char* const kFreshLines[] = {
    "33817E33",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 3×3
    "34817E34",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 4×4
    "35817E35",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 5×5
    "36817E36",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 6×6
    "37817E37",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 7×7
    "38817E38",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 8×8
    "39817E39",     "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 9×9
    "3130817E3130", "312C2C", "322C2C", "332C2C", "342C2C", "352C2C", // 10×10
    "30",                                                             // closing line "0"
};
constexpr int kLineCount = 49;

// The golden file with some of its lines (0-based) replaced by other hex.
QByteArray golden(const std::map<int, const char*>& changed = {}) {
    QByteArray bytes;
    for (int i = 0; i < kLineCount; ++i) {
        const auto it = changed.find(i);
        bytes += QByteArray::fromHex(it == changed.end() ? kFreshLines[i] : it->second) + "\r\n";
    }
    return bytes;
}

// Line index of an entry line in the file.
int lineOf(int size, int place) {
    return (size - engine::kSmallestGrid) * 6 + place;
}

Tables filledWith(const QString& text) {
    Tables t;
    for (int size = engine::kSmallestGrid; size <= engine::kLargestGrid; ++size) {
        for (int place = 1; place <= kPlaces; ++place) {
            t.RankTime[size][place] = text;
            t.RankName[size][place] = text;
        }
    }
    return t;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Whether bytes have the program's layout: 49 lines each ended by CR LF, the section headers, the place
// numbers and the closing "0".
bool isWellFormed(const QByteArray& bytes) {
    if (!bytes.endsWith("\r\n")) {
        return false;
    }
    const QList<QByteArray> lines = bytes.chopped(2).split('\n');
    if (lines.size() != kLineCount || lines.last() != "0") {
        return false;
    }
    for (int i = 0; i + 1 < kLineCount; ++i) {
        if (!lines[i].endsWith('\r') || lines[i].chopped(1).contains('\r')) {
            return false;
        }
        const QByteArray text = lines[i].chopped(1);
        const int size = i / 6 + engine::kSmallestGrid;
        const int place = i % 6;
        const bool fits = place == 0
                              ? text == QByteArray::number(size) + "\x81\x7E" + QByteArray::number(size)
                              : text.startsWith(QByteArray::number(place) + ',') && text.count(',') >= 2;
        if (!fits) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestModule1 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void freshFileIsTheGoldenLayout();
    void loadCreatesAMissingFileAndEmptiesTheTables();
    void entryFieldsAreSplitAtCommas();
    void fileEndingAfterAHeaderKeepsTheRest();
    void missingLinesAndFieldsReadAsEmptySlots();
    void laterPassesOverwriteEarlierOnes();
    void originalFileWritesBackByteForByte();
    void eachEditChangesOnlyItsLine();
    void textTheFileCannotHoldIsReplaced();
    void brokenFilesReadAndRewriteWellFormed();
    void entriesKeepTheirBytes();
    void filesReadUpToTheBound();

    void placement_data();
    void placement();
    void insertionShiftsLowerPlacesDown();
    void emptyNameBecomesTheDate();

    void failedWriteKeepsTheOldFile();
    void writeIntoMissingFolderFails();
    void writeIntoReadOnlyFolderFails();
    void unreadableFileKeepsTheTables();
    void unwritableProgramFolderFallsBackToDataFolder();

private:
    ScratchRanking m_scratch;
    QString path() const { return m_scratch.path(); }
    Module1& rank() { return *m_scratch.ranking; }
};

void TestModule1::init() {
    m_scratch.begin();
}

void TestModule1::cleanup() {
    m_scratch.end();
}

void TestModule1::freshFileIsTheGoldenLayout() {
    QCOMPARE(emptyRanking().toHex(), golden().toHex());
    QCOMPARE(writeRanking(Tables{}), golden());
    QVERIFY(rank().myRankInit().ok);
    QCOMPARE(readFile(path()), golden());
    QVERIFY(emptyRanking().endsWith("\r\n0\r\n"));
    QVERIFY(!emptyRanking().startsWith("\xEF\xBB\xBF"));
}

void TestModule1::loadCreatesAMissingFileAndEmptiesTheTables() {
    writeFile(path(), writeRanking(filledWith(QStringLiteral("old"))));
    QVERIFY(rank().myRankLoad());
    QCOMPARE(rank().tables().RankName[10][5], QStringLiteral("old"));
    QVERIFY(QFile::remove(path()));
    QVERIFY(rank().myRankLoad());
    QCOMPARE(readFile(path()), golden());
    for (int size = engine::kSmallestGrid; size <= engine::kLargestGrid; ++size) {
        for (int place = 1; place <= kPlaces; ++place) {
            QVERIFY(rank().tables().RankTime[size][place].isEmpty());
            QVERIFY(rank().tables().RankName[size][place].isEmpty());
        }
    }
}

void TestModule1::entryFieldsAreSplitAtCommas() {
    Tables t;
    readRanking(golden({{lineOf(5, 2), "322C30333A31302C616263"}, // 2,03:10,abc
                        {lineOf(5, 1), "312C30313A30302C612C62"}, // 1,01:00,a,b
                        {lineOf(6, 3), "332C30323A3030"},         // 3,02:00 (no name field)
                        {lineOf(7, 1), "312C30313A30302C2C7A"}}), // 1,01:00,,z
                t);
    QCOMPARE(t.RankTime[5][2], QStringLiteral("03:10"));
    QCOMPARE(t.RankName[5][2], QStringLiteral("abc"));
    QCOMPARE(t.RankTime[5][1], QStringLiteral("01:00"));
    QCOMPARE(t.RankName[5][1], QStringLiteral("a"));
    QCOMPARE(t.RankTime[6][3], QStringLiteral("02:00"));
    QCOMPARE(t.RankName[6][3], QString());
    QCOMPARE(t.RankName[7][1], QString());
}

void TestModule1::fileEndingAfterAHeaderKeepsTheRest() {
    // Everything up to and including the "7×7" header.
    const QByteArray bytes = golden().left(golden().indexOf(QByteArray::fromHex("37817E37")) + 6);
    QVERIFY(bytes.endsWith("\x81\x7E"
                           "7\r\n"));
    Tables t = filledWith(QStringLiteral("kept"));
    readRanking(bytes, t);
    QCOMPARE(t.RankTime[6][5], QString());
    QCOMPARE(t.RankName[3][1], QString());
    for (int size = 7; size <= engine::kLargestGrid; ++size) {
        QCOMPARE(t.RankTime[size][1], QStringLiteral("kept"));
        QCOMPARE(t.RankName[size][5], QStringLiteral("kept"));
    }
    // Without its line end, the header is still the last line read.
    t = filledWith(QStringLiteral("kept"));
    readRanking(bytes.chopped(2), t);
    QCOMPARE(t.RankTime[7][1], QStringLiteral("kept"));
}

void TestModule1::missingLinesAndFieldsReadAsEmptySlots() {
    // "3×3", then two entry lines and the end: places 3..5 read empty, the larger sizes keep their values.
    Tables t = filledWith(QStringLiteral("x"));
    readRanking(QByteArray::fromHex("33817E33") + "\r\n1,00:10,a\r\n2\r\n", t);
    QCOMPARE(t.RankTime[3][1], QStringLiteral("00:10"));
    QCOMPARE(t.RankName[3][1], QStringLiteral("a"));
    QCOMPARE(t.RankTime[3][2], QString());
    QCOMPARE(t.RankName[3][2], QString());
    QCOMPARE(t.RankTime[3][5], QString());
    QCOMPARE(t.RankTime[4][1], QStringLiteral("x"));

    // An empty file covers nothing.
    t = filledWith(QStringLiteral("x"));
    readRanking(QByteArray(), t);
    QCOMPARE(t.RankName[10][5], QStringLiteral("x"));
}

void TestModule1::laterPassesOverwriteEarlierOnes() {
    // After the eight sections the reader starts over at size 3. Two sets of sections one after another (a
    // file that was appended to): the second set wins, and its closing "0", read as a header, reaches no
    // slot.
    const QByteArray first =
        golden({{lineOf(4, 1), "312C30313A30302C6669727374"}}).chopped(3);              // 1,01:00,first
    const QByteArray second = golden({{lineOf(4, 1), "312C30323A30302C7365636F6E64"}}); // 1,02:00,second
    Tables t;
    readRanking(first + second, t);
    QCOMPARE(t.RankName[4][1], QStringLiteral("second"));
    QCOMPARE(t.RankTime[4][1], QStringLiteral("02:00"));

    // The closing "0" of a whole file takes the place of the next header, so what follows it is read one
    // line later: here the second set's own header falls on place 1 of size 3.
    readRanking(golden() + second, t);
    QCOMPARE(t.RankTime[3][1], QString());
    QCOMPARE(t.RankTime[4][1], QString()); // the "4×4" header
    QCOMPARE(t.RankTime[4][2], QStringLiteral("02:00"));
    QCOMPARE(t.RankName[4][2], QStringLiteral("second"));
}

void TestModule1::originalFileWritesBackByteForByte() {
    // Names in full-width and half-width kana, kanji, "～" (81 60), circled one (87 40), IBM extension "ⅰ"
    // (FA 40), the date a blank name becomes, and a comma-free ASCII name.
    const QByteArray original = golden({
        {lineOf(3, 1), "312C30303A34322C82B382AD82E7"},     // 1,00:42,さくら
        {lineOf(3, 2), "322C30313A30352C30342F30372F3135"}, // 2,01:05,04/07/15
        {lineOf(3, 3), "332C30313A30352CB1B2B3"},           // 3,01:05,ｱｲｳ
        {lineOf(5, 1), "312C30323A35392C93638DE88160"},     // 1,02:59,田崎～
        {lineOf(10, 1), "312C35393A35392C8740FA40"},        // 1,59:59,①ⅰ
        {lineOf(10, 2), "322C35393A35392C54726F6E205C"},    // 2,59:59,Tron \ (0x5C stays a backslash)
    });
    Tables t;
    readRanking(original, t);
    QCOMPARE(t.RankName[3][1], QStringLiteral("さくら"));
    QCOMPARE(t.RankName[5][1], QStringLiteral("田崎～"));
    QCOMPARE(t.RankName[10][2], QStringLiteral("Tron \\"));
    QCOMPARE(writeRanking(t).toHex(), original.toHex());
    QVERIFY(readsAsRanking(original));
    QCOMPARE(rankingEntries(original).toHex(), original.toHex());
}

void TestModule1::eachEditChangesOnlyItsLine() {
    // The example of a 4×4 game of 2 minutes 5 seconds left unnamed on 15 July 2004.
    Tables t;
    insertEntry(t, 4, 1, QStringLiteral("02:05"), dateName(QDate(2004, 7, 15)));
    QCOMPARE(writeRanking(t).toHex(), golden({{lineOf(4, 1), "312C30323A30352C30342F30372F3135"}}).toHex());

    // A better time above it, then a worse one below, in the 10×10 and 3×3 sections.
    insertEntry(t, 4, placeFor(t, 4, QStringLiteral("01:59")), QStringLiteral("01:59"), QStringLiteral("A"));
    insertEntry(t, 10, placeFor(t, 10, QStringLiteral("30:00")), QStringLiteral("30:00"),
                QStringLiteral("B"));
    QCOMPARE(writeRanking(t).toHex(), golden({{lineOf(4, 1), "312C30313A35392C41"},
                                              {lineOf(4, 2), "322C30323A30352C30342F30372F3135"},
                                              {lineOf(10, 1), "312C33303A30302C42"}})
                                          .toHex());
}

void TestModule1::textTheFileCannotHoldIsReplaced() {
    Tables t;
    t.RankName[3][1] = QStringLiteral("é😀x");              // one "?" for each character, the emoji included
    t.RankName[3][2] = QStringLiteral("a\r\nb\tc\u2028d"); // line breaks and controls become blanks
    t.RankName[3][3] = QStringLiteral("a,b");              // written as typed
    t.RankName[3][4] = QString(QChar(0xD800));             // a lone surrogate
    const QByteArray bytes = writeRanking(t);
    QCOMPARE(bytes.toHex(), golden({{lineOf(3, 1), "312C2C3F3F78"},
                                    {lineOf(3, 2), "322C2C61202062206320"
                                                   "64"},
                                    {lineOf(3, 3), "332C2C612C62"},
                                    {lineOf(3, 4), "342C2C3F"}})
                                .toHex());
    QVERIFY(isWellFormed(bytes));
    Tables back;
    readRanking(bytes, back);
    QCOMPARE(back.RankName[3][3], QStringLiteral("a")); // the name ends at its first comma
    QCOMPARE(storableName(QStringLiteral("x\ny\u0085z")), QStringLiteral("x y z"));
}

void TestModule1::brokenFilesReadAndRewriteWellFormed() {
    const QList<QByteArray> broken = {
        QByteArray("\xFF\xFE\x00\x81\x81\x81", 6), // binary junk with a cut-off character
        QByteArray::fromHex("33817E33") + "\r\n1,\x80\xA0\xFD,\x81\r\n", // invalid code page 932 bytes
        QByteArray("\n\n\n\r\r\r,,,,,,\r\n"),                            // bare line ends and empty fields
        golden() + golden() + "trailing",                                // too long
        QByteArray(1000, ','),                                           // a line of commas only
        QByteArray("3x3\r\n1,00:01,a\x00"
                   "b\r\n",
                   19), // a NUL in a name
    };
    for (const QByteArray& bytes : broken) {
        Tables t;
        readRanking(bytes, t);
        const QByteArray rewritten = writeRanking(t);
        QVERIFY2(isWellFormed(rewritten), bytes.toHex().constData());
        Tables again;
        readRanking(rewritten, again);
        QCOMPARE(writeRanking(again), rewritten); // the rewrite is stable: nothing broken survives it
    }
    // Bytes that are not code page 932 are kept as broken characters, written back as "?".
    Tables t;
    readRanking(broken[1], t);
    QVERIFY(t.RankTime[3][1].contains(QChar::ReplacementCharacter));
    QVERIFY(writeRanking(t).contains("\r\n1,?"));
}

// Copies and insertions work on the file's bytes: an entry the code page cannot read keeps them, where a
// rewrite from the tables would turn them into "?".
void TestModule1::entriesKeepTheirBytes() {
    const QByteArray foreign("\x80\xA0\xFD,\x81\xFF", 6); // a time and a name in no code page 932
    const QByteArray file =
        golden({{lineOf(3, 1), "312C80A0FD2C81FF"}, {lineOf(7, 2), "322C30313A30302C612C62"}});
    QVERIFY(readsAsRanking(file)); // a name with a comma, read as its first part, is still a ranking's line
    QCOMPARE(rankingEntries(file).toHex(),
             golden({{lineOf(3, 1), "312C80A0FD2C81FF"}, {lineOf(7, 2), "322C30313A30302C61"}}).toHex());
    const QByteArray inserted = rankingWithEntry(file, 3, 1, QStringLiteral("00:09"), QStringLiteral("山田"));
    QVERIFY(isWellFormed(inserted));
    QVERIFY(inserted.contains("\r\n1,00:09,\x8E\x52\x93\x63\r\n2," + foreign + "\r\n"));
    Tables t;
    readRanking(inserted, t);
    QCOMPARE(t.RankName[3][1], QStringLiteral("山田"));
    QCOMPARE(t.RankTime[3][3], QString());

    // What is no whole ranking as the program writes one.
    QVERIFY(readsAsRanking(golden()));
    QVERIFY(!readsAsRanking(golden().chopped(2)));                        // the last line end missing
    QVERIFY(!readsAsRanking(QByteArray(golden()).replace("\r\n", "\n"))); // bare line ends
    QVERIFY(!readsAsRanking(golden() + golden()));
    QVERIFY(!readsAsRanking(golden({{lineOf(5, 3), "332C30313A3030"}}))); // no name field
    QVERIFY(!readsAsRanking(golden({{lineOf(5, 0), "35783F"}})));         // another header
    QVERIFY(!readsAsRanking(QByteArray()));
    // Whatever the bytes, the entries come out in the layout, and once there they stay as they are.
    for (const QByteArray& bytes :
         {QByteArray("\xFF\xFE\x00\x81", 4), golden() + "x", QByteArray(1000, ',')}) {
        const QByteArray entries = rankingEntries(bytes);
        QVERIFY2(isWellFormed(entries), bytes.toHex().constData());
        QVERIFY(readsAsRanking(entries));
        QCOMPARE(rankingEntries(entries), entries);
    }
}

void TestModule1::filesReadUpToTheBound() {
    // Sections one after another, up to the bound: the last set is what the tables hold.
    const QByteArray copy = golden({{lineOf(8, 3), "332C30303A30312C6F6C64"}}).chopped(3); // without its "0"
    const QByteArray last = golden({{lineOf(8, 3), "332C30303A30322C6E6577"}});
    QByteArray many;
    while (many.size() + copy.size() + last.size() <= kMaxFileBytes) {
        many += copy;
    }
    many += last;
    writeFile(path(), many);
    QVERIFY(rank().myRankLoad());
    QCOMPARE(rank().tables().RankName[8][3], QStringLiteral("new"));
    QCOMPARE(rank().recordEntry(3, QStringLiteral("00:01"), QStringLiteral("x")).outcome,
             EntryResult::Outcome::Stored);
    QCOMPARE(readFile(path()),
             golden({{lineOf(8, 3), "332C30303A30322C6E6577"}, {lineOf(3, 1), "312C30303A30312C78"}}));

    // Past the bound it is no ranking file: the tables keep what they held and nothing is stored over it.
    writeFile(path(), many + QByteArray(kMaxFileBytes + 1 - many.size(), '\n'));
    QVERIFY(!rank().myRankLoad());
    QCOMPARE(rank().tables().RankName[3][1], QStringLiteral("x"));
    QCOMPARE(rank().recordEntry(3, QStringLiteral("00:01"), QStringLiteral("x")).outcome,
             EntryResult::Outcome::Unreadable);
    QCOMPARE(QFileInfo(path()).size(), kMaxFileBytes + 1);
}

void TestModule1::placement_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("place");
    QTest::newRow("empty ranking") << QStringList{"", "", "", "", ""} << "05:00" << 1;
    QTest::newRow("equal times stay above") << QStringList{"01:10", "01:20", "01:20", "", ""} << "01:20" << 4;
    QTest::newRow("five equal, no place")
        << QStringList{"00:30", "00:30", "00:30", "00:30", "00:30"} << "00:30" << 6;
    QTest::newRow("better than third")
        << QStringList{"00:10", "00:20", "00:30", "00:40", "00:50"} << "00:25" << 3;
    QTest::newRow("worse than all, one free")
        << QStringList{"00:10", "00:20", "00:30", "00:40", ""} << "59:59" << 5;
    QTest::newRow("best of all") << QStringList{"00:10", "00:20", "00:30", "00:40", "00:50"} << "00:00" << 1;
    QTest::newRow("worse than all five")
        << QStringList{"00:10", "00:20", "00:30", "00:40", "00:50"} << "00:51" << 6;
    QTest::newRow("minutes outweigh seconds") << QStringList{"01:05", "", "", "", ""} << "00:59" << 1;
}

void TestModule1::placement() {
    QFETCH(QStringList, stored);
    QFETCH(QString, time);
    QFETCH(int, place);
    Tables t;
    for (int i = 0; i < kPlaces; ++i) {
        t.RankTime[6][i + 1] = stored[i];
    }
    QCOMPARE(placeFor(t, 6, time), place);
    QCOMPARE(placeFor(t, 7, time), 1); // other sizes are their own rankings
}

void TestModule1::insertionShiftsLowerPlacesDown() {
    Tables t;
    const QStringList times{"00:10", "00:20", "00:30", "00:40", "00:50"};
    for (int i = 0; i < kPlaces; ++i) {
        t.RankTime[9][i + 1] = times[i];
        t.RankName[9][i + 1] = QStringLiteral("p%1").arg(i + 1);
    }
    insertEntry(t, 9, 3, QStringLiteral("00:25"), QStringLiteral("new"));
    const QStringList expectedTimes{"00:10", "00:20", "00:25", "00:30", "00:40"};
    const QStringList expectedNames{"p1", "p2", "new", "p3", "p4"};
    for (int i = 0; i < kPlaces; ++i) {
        QCOMPARE(t.RankTime[9][i + 1], expectedTimes[i]);
        QCOMPARE(t.RankName[9][i + 1], expectedNames[i]);
    }
    insertEntry(t, 9, 5, QStringLiteral("00:45"), QStringLiteral("last"));
    QCOMPARE(t.RankName[9][5], QStringLiteral("last"));
    QCOMPARE(t.RankName[9][4], QStringLiteral("p3"));

    // Sizes without a ranking and places outside 1..5 change nothing.
    const Tables before = t;
    insertEntry(t, 2, 1, QStringLiteral("00:01"), QStringLiteral("x"));
    insertEntry(t, 9, 6, QStringLiteral("00:01"), QStringLiteral("x"));
    QVERIFY(t.RankTime == before.RankTime && t.RankName == before.RankName);
    QCOMPARE(placeFor(t, 2, QStringLiteral("00:01")), kNoPlace);
    QCOMPARE(placeFor(t, 11, QStringLiteral("00:01")), kNoPlace);
}

void TestModule1::emptyNameBecomesTheDate() {
    QCOMPARE(dateName(QDate(2004, 7, 15)), QStringLiteral("04/07/15"));
    QCOMPARE(dateName(QDate(2010, 1, 5)), QStringLiteral("10/01/05"));
    QCOMPARE(dateName(QDate(1999, 12, 31)), QStringLiteral("99/12/31"));
}

void TestModule1::failedWriteKeepsTheOldFile() {
    // A file size limit makes the write fail part-way, as a full disk would, whoever runs the test.
    const QByteArray old = golden({{lineOf(4, 1), "312C30323A30352C6F6C64"}});
    writeFile(path(), old);
    Tables t;
    for (int place = 1; place <= kPlaces; ++place) {
        t.RankName[10][place] = QString(200, u'n');
    }
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 512;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteResult result = writeRankingFile(path(), writeRanking(t));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!result.ok);
    QVERIFY(result.error.contains(QStringLiteral("保存出来ませんでした")));
    QVERIFY(result.error.contains(QStringLiteral("ranking.txt")));
    QCOMPARE(readFile(path()), old);
    QCOMPARE(QDir(m_scratch.dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("ranking.txt")});
    QVERIFY(writeRankingFile(path(), writeRanking(t)).ok); // and the same write succeeds without the limit
    QCOMPARE(readFile(path()), writeRanking(t));
}

void TestModule1::writeIntoMissingFolderFails() {
    Module1 gone(m_scratch.dir->filePath(QStringLiteral("gone")));
    QVERIFY(!gone.myRankInit().ok);
    const EntryResult entry = gone.recordEntry(5, QStringLiteral("00:10"), QStringLiteral("x"));
    QCOMPARE(entry.outcome, EntryResult::Outcome::NotSaved);
    QVERIFY(!entry.error.isEmpty());
    // Loading from there is quiet and reads as an empty ranking.
    QVERIFY(gone.myRankLoad());
    QCOMPARE(gone.tables().RankName[5][1], QString());
}

void TestModule1::writeIntoReadOnlyFolderFails() {
    if (geteuid() == 0) {
        QSKIP("the superuser writes into read-only folders");
    }
    writeFile(path(), golden());
    QVERIFY(QFile::setPermissions(m_scratch.dir->path(), QFile::ReadOwner | QFile::ExeOwner));
    const EntryResult entry = rank().recordEntry(3, QStringLiteral("00:10"), QStringLiteral("new"));
    const WriteResult clearing = rank().myRankInit();
    QFile::setPermissions(m_scratch.dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(entry.outcome, EntryResult::Outcome::NotSaved);
    QVERIFY(!clearing.ok);
    QCOMPARE(readFile(path()), golden());
}

void TestModule1::unreadableFileKeepsTheTables() {
    writeFile(path(), writeRanking(filledWith(QStringLiteral("kept"))));
    QVERIFY(rank().myRankLoad());
    QVERIFY(QFile::remove(path()));
    QVERIFY(QDir(m_scratch.dir->path())
                .mkdir(QStringLiteral("ranking.txt"))); // exists, but cannot be read as a file
    QVERIFY(!rank().myRankLoad());
    QCOMPARE(rank().tables().RankTime[3][1], QStringLiteral("kept"));
    QVERIFY(!rank().myRankInit().ok);
    QVERIFY(QFileInfo(path()).isDir());
}

void TestModule1::unwritableProgramFolderFallsBackToDataFolder() {
    const QString data = m_scratch.dir->filePath(QStringLiteral("data"));
    QCOMPARE(rankingFolderFor(m_scratch.dir->path(), data), m_scratch.dir->path());
    QCOMPARE(rankingFolderFor(m_scratch.dir->filePath(QStringLiteral("missing")), data), data);
    if (geteuid() != 0) {
        const QString locked = m_scratch.dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir(m_scratch.dir->path()).mkdir(QStringLiteral("locked")));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(rankingFolderFor(locked, data), data);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Without a folder of its own the ranking lives beside the program, whose folder here can be written.
    QCOMPARE(Module1().rankingPath(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/ranking.txt"));
}

QTEST_GUILESS_MAIN(TestModule1)
#include "test_module1.moc"
