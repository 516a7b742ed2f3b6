// ranking.txt on disk: what is no ranking file reads as unreadable at once and is never written over, reads
// under an in-place rewriter, the lock, the leftovers of an interrupted write, the data folder taking over a
// read-only program folder's ranking, two copies of the game storing entries at the same moment, a rewrite
// that reaches the disk in the order that outlasts a power cut, and one that is done once its file is in
// place.
#include "ranking/filesystem.h"
#include "ranking/module1.h"
#include "ranking/rankfile.h"
#include "scratch_ranking.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ranking;
using Outcome = EntryResult::Outcome;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
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

// What stands at path, so a test can tell that nothing was written over it: its type and a link's target.
QString describe(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return QStringLiteral("nothing");
    }
    return QStringLiteral("mode %1 size %2 -> %3")
        .arg(st.st_mode, 0, 8)
        .arg(S_ISREG(st.st_mode) ? qint64(st.st_size) : 0)
        .arg(QFileInfo(path).symLinkTarget());
}

// The system's own calls, each one written down as it is made, and the one named in failing refused with
// errno set instead of made (a close is made and then reported failed, as NFS reports a lost write).
class RecordingFileSystem : public FileSystem {
public:
    QStringList calls;
    QString failing;
    int failure = EIO;

    int createNew(const QByteArray& path, mode_t mode) override {
        const int fd = refused(QStringLiteral("create")) ? -1 : FileSystem::createNew(path, mode);
        remember(fd, QStringLiteral("new file"));
        return fd;
    }
    ssize_t write(int fd, const char* data, size_t size) override {
        return refused(QStringLiteral("write ") + m_names.value(fd)) ? -1 : FileSystem::write(fd, data, size);
    }
    int fsync(int fd) override {
        return refused(QStringLiteral("fsync ") + m_names.value(fd)) ? -1 : FileSystem::fsync(fd);
    }
    int close(int fd) override {
        const QString name = m_names.take(fd);
        const bool fails = refused(QStringLiteral("close ") + name);
        FileSystem::close(fd);
        return fails ? -1 : 0;
    }
    int rename(const QByteArray& from, const QByteArray& to) override {
        const QString call =
            QStringLiteral("rename new file to ") + QFileInfo(QFile::decodeName(to)).fileName();
        return refused(call) ? -1 : FileSystem::rename(from, to);
    }
    int unlink(const QByteArray& path) override {
        calls << QStringLiteral("unlink new file");
        return FileSystem::unlink(path);
    }
    int openFolder(const QByteArray& path) override {
        const int fd = refused(QStringLiteral("open folder")) ? -1 : FileSystem::openFolder(path);
        remember(fd, QStringLiteral("folder"));
        return fd;
    }

private:
    QHash<int, QString> m_names;

    bool refused(const QString& call) {
        calls << call;
        if (call != failing) {
            return false;
        }
        errno = failure;
        return true;
    }
    void remember(int fd, const QString& name) {
        if (fd >= 0) {
            m_names.insert(fd, name);
        }
    }
};

} // namespace

class TestRankFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void whatIsNoRankingFileIsNeverReadNorWrittenOver_data();
    void whatIsNoRankingFileIsNeverReadNorWrittenOver();
    void readsUnderAnInPlaceRewriterNeverCrash();
    void aHeldLockIsWaitedForAFewSecondsOnly();
    void aLockLeftByAGoneCopyIsTakenAtOnce();
    void leftoversOfAnInterruptedWriteGoWithTheNextWrite();
    void dataFolderTakesOverTheProgramFoldersRanking();
    void twoCopiesStoringTogetherLoseNothing();
    void aRewriteIsSyncedRenamedAndItsFolderSynced();
    void aWriteFailsUntilTheRenameAndIsDoneFromIt_data();
    void aWriteFailsUntilTheRenameAndIsDoneFromIt();

private:
    ScratchRanking m_scratch;
    QString path() const { return m_scratch.path(); }
    Module1& rank() { return *m_scratch.ranking; }
};

void TestRankFile::init() {
    m_scratch.begin();
}

void TestRankFile::cleanup() {
    m_scratch.end();
}

void TestRankFile::whatIsNoRankingFileIsNeverReadNorWrittenOver_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("tryWriting"); // never through a link to a device: a fault would replace it
    QTest::newRow("FIFO") << "fifo" << true;
    QTest::newRow("link to a FIFO") << "link to fifo" << true;
    QTest::newRow("link to /dev/zero") << "/dev/zero" << false;
    QTest::newRow("link to /dev/urandom") << "/dev/urandom" << false;
    QTest::newRow("folder") << "folder" << true;
    QTest::newRow("link to a folder") << "link to folder" << true;
    QTest::newRow("a byte past the bound") << "large" << false; // a regular file, which clearing replaces
    QTest::newRow("a file whose read fails") << "/proc/self/mem" << false;
    QTest::newRow("no read permission") << "unreadable" << true;
}

void TestRankFile::whatIsNoRankingFileIsNeverReadNorWrittenOver() {
    QFETCH(QString, kind);
    QFETCH(bool, tryWriting);
    writeFile(path(), writeRanking(filledWith(QStringLiteral("kept"))));
    QVERIFY(rank().myRankLoad());
    QVERIFY(QFile::remove(path()));
    const QByteArray native = QFile::encodeName(path());
    const QString other = m_scratch.dir->filePath(QStringLiteral("other"));
    if (kind == u"fifo") {
        QCOMPARE(::mkfifo(native.constData(), 0644), 0);
    } else if (kind == u"link to fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(other).constData(), 0644), 0);
        QVERIFY(QFile::link(other, path()));
    } else if (kind.startsWith(u'/')) {
        QVERIFY(QFile::link(kind, path()));
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkdir(path()));
    } else if (kind == u"link to folder") {
        QVERIFY(QDir().mkdir(other));
        QVERIFY(QFile::link(other, path()));
    } else if (kind == u"large") {
        writeFile(path(), emptyRanking() + QByteArray(kMaxFileBytes + 1 - emptyRanking().size(), '\n'));
    } else if (kind == u"unreadable") {
        if (geteuid() == 0) {
            QSKIP("permissions do not stop the superuser from reading; the failing read is the /proc row");
        }
        writeFile(path(), emptyRanking());
        QVERIFY(QFile::setPermissions(path(), QFile::WriteOwner));
    }
    const QString before = describe(path());

    QCOMPARE(readRankingFile(path()).status, ReadStatus::Unreadable);
    // The placement keeps the tables, the ranking window gets nothing to show, OK stores nothing.
    QVERIFY(!rank().myRankLoad());
    QCOMPARE(rank().tables().RankName[7][3], QStringLiteral("kept"));
    QCOMPARE(rank().placementFor(7, QStringLiteral("00:01")).outcome, Placement::Outcome::Unreadable);
    QVERIFY(!rank().loadRankingBytes());
    const EntryResult entry = rank().recordEntry(4, QStringLiteral("00:01"), QStringLiteral("x"));
    QCOMPARE(entry.outcome, Outcome::Unreadable);
    QCOMPARE(rank().tables().RankName[4][1], QStringLiteral("kept"));
    if (tryWriting) {
        QVERIFY(!rank().myRankInit().ok);
    }
    QCOMPARE(describe(path()), before);
    QCOMPARE(
        QDir(m_scratch.dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(),
        kind.startsWith(u"link to ") ? 2 : 1); // no lock file or temporary file left either
}

void TestRankFile::readsUnderAnInPlaceRewriterNeverCrash() {
    // Another program rewriting the file in place (truncate, then write) while the game reads it.
    QByteArray content = emptyRanking();
    while (content.size() < 512 * 1024) {
        content += emptyRanking();
    }
    writeFile(path(), content);
    std::atomic<bool> stop = false;
    std::thread rewriter([&] {
        const QByteArray native = QFile::encodeName(path());
        while (!stop) {
            const int fd = ::open(native.constData(), O_WRONLY | O_TRUNC);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t written = ::write(fd, content.constData(), content.size());
                ::close(fd);
            }
        }
    });
    int whole = 0;
    for (int i = 0; i < 300; ++i) {
        const ReadResult read = readRankingFile(path());
        if (read.status == ReadStatus::Read) {
            // Whatever was read is the file as it stood at one moment: never bytes from two versions.
            QVERIFY(content.startsWith(read.bytes));
            whole += read.bytes.size() == content.size() ? 1 : 0;
        } else {
            QCOMPARE(read.status, ReadStatus::Unreadable);
        }
    }
    stop = true;
    rewriter.join();
    qInfo("%d of 300 reads found the whole file", whole);
    QCOMPARE(readRankingFile(path()).bytes, content); // and once the rewriter is gone the file reads again
}

void TestRankFile::aHeldLockIsWaitedForAFewSecondsOnly() {
    QVERIFY(rank().myRankInit().ok);
    const QByteArray before = readFile(path());
    QLockFile other(lockPathFor(path())); // another copy of the game in the middle of its update
    QVERIFY(other.tryLock(0));

    const EntryResult entry = rank().recordEntry(6, QStringLiteral("01:00"), QStringLiteral("me"));
    QCOMPARE(entry.outcome, Outcome::NotSaved);
    QVERIFY(entry.error.startsWith(QStringLiteral("ランキングを保存出来ませんでした。")));
    const WriteResult clearing = rank().myRankInit(); // clearing waits for the same lock
    QVERIFY(!clearing.ok);
    QVERIFY(clearing.error.startsWith(QStringLiteral("ランキングを保存出来ませんでした。")));
    QCOMPARE(readFile(path()), before);

    other.unlock();
    QCOMPARE(rank().recordEntry(6, QStringLiteral("01:00"), QStringLiteral("me")).outcome, Outcome::Stored);
    QCOMPARE(rank().tables().RankName[6][1], QStringLiteral("me"));
}

void TestRankFile::aLockLeftByAGoneCopyIsTakenAtOnce() {
    // A copy that died holding the lock: the process the lock file names is gone. No host name: this machine.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    writeFile(lockPathFor(path()), QByteArray::number(deadPid) + "\nzorupa\n\n");
    QCOMPARE(rank().recordEntry(3, QStringLiteral("00:09"), QStringLiteral("a")).outcome, Outcome::Stored);

    // A lock file that names no process, older than the stale age.
    writeFile(lockPathFor(path()), QByteArray());
    QFile lock(lockPathFor(path()));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    lock.close();
    QCOMPARE(rank().recordEntry(3, QStringLiteral("00:08"), QStringLiteral("b")).outcome, Outcome::Stored);
    QCOMPARE(rank().tables().RankName[3][1], QStringLiteral("b"));
    QCOMPARE(rank().tables().RankName[3][2], QStringLiteral("a"));
    QVERIFY(!QFile::exists(lockPathFor(path())));
}

void TestRankFile::leftoversOfAnInterruptedWriteGoWithTheNextWrite() {
    const QStringList leftovers{QStringLiteral("ranking.txt.aBcDeF"), QStringLiteral("ranking.txt.QwErTy"),
                                QStringLiteral("ranking.txt.xxxxxY")};
    const QStringList kept{QStringLiteral("ranking.txt.backup"),  QStringLiteral("ranking.txt.BACKUP"),
                           QStringLiteral("ranking.txt.Backup"),  QStringLiteral("ranking.txt.bak"),
                           QStringLiteral("ranking.txt.aBcDeF1"), QStringLiteral("ranking.txt.aBc0eF"),
                           QStringLiteral("other.txt.aBcDeF")};
    for (const QString& name : leftovers + kept) {
        writeFile(m_scratch.dir->filePath(name), emptyRanking());
    }
    const auto present = [&] {
        QStringList names = QDir(m_scratch.dir->path()).entryList(QDir::Files);
        names.removeOne(QStringLiteral("ranking.txt"));
        names.sort();
        return names;
    };
    QCOMPARE(rank().recordEntry(8, QStringLiteral("10:00"), QStringLiteral("x")).outcome, Outcome::Stored);
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(present(), expected);

    // A write that fails removes nothing.
    writeFile(m_scratch.dir->filePath(leftovers[0]), emptyRanking());
    QVERIFY(QFile::remove(path()));
    QVERIFY(QDir().mkdir(path()));
    QVERIFY(!rank().myRankInit().ok);
    QVERIFY(QFile::exists(m_scratch.dir->filePath(leftovers[0])));
}

void TestRankFile::dataFolderTakesOverTheProgramFoldersRanking() {
    const QString program = m_scratch.dir->filePath(QStringLiteral("program/ranking.txt"));
    const QString data = m_scratch.dir->filePath(QStringLiteral("data/ranking.txt"));
    QVERIFY(QDir().mkpath(m_scratch.dir->filePath(QStringLiteral("program"))));
    QVERIFY(QDir().mkpath(m_scratch.dir->filePath(QStringLiteral("data"))));
    Tables earlier;
    insertEntry(earlier, 5, 1, QStringLiteral("02:00"), QStringLiteral("さくら"));
    insertEntry(earlier, 10, 1, QStringLiteral("30:00"), QStringLiteral("old"));
    writeFile(program, writeRanking(earlier) + "junk past the end");

    adoptProgramRanking(program, data);
    QCOMPARE(readFile(data), writeRanking(earlier));

    // Only the first time: afterwards the data folder's ranking is the player's.
    QVERIFY(Module1(m_scratch.dir->filePath(QStringLiteral("data"))).myRankInit().ok);
    adoptProgramRanking(program, data);
    QCOMPARE(readFile(data), emptyRanking());

    // Byte for byte, also what the code page cannot read and a name with a comma in it: a ranking as the
    // program writes it is copied whole; anything else by its entries, each keeping its bytes.
    QVERIFY(QFile::remove(data));
    QByteArray foreign = writeRanking(earlier);
    foreign.replace("30:00,old", QByteArray("30:00,\x80\xFDo,ld\xFF", 13));
    writeFile(program, foreign);
    adoptProgramRanking(program, data);
    QCOMPARE(readFile(data).toHex(), foreign.toHex());
    QVERIFY(QFile::remove(data));
    writeFile(program, foreign + "junk past the end");
    adoptProgramRanking(program, data);
    QCOMPARE(readFile(data).toHex(), QByteArray(foreign).replace(QByteArray("o,ld\xFF"), "o").toHex());
    // And a finished game stored there keeps every other entry as it stood.
    QCOMPARE(Module1(m_scratch.dir->filePath(QStringLiteral("data")))
                 .recordEntry(10, QStringLiteral("29:00"), QStringLiteral("new"))
                 .outcome,
             Outcome::Stored);
    QVERIFY(readFile(data).contains(QByteArray("\r\n1,29:00,new\r\n2,30:00,\x80\xFDo\r\n")));

    // Nothing to take over from a program folder whose ranking cannot be read.
    QVERIFY(QFile::remove(data));
    QVERIFY(QFile::remove(program));
    QCOMPARE(::mkfifo(QFile::encodeName(program).constData(), 0644), 0);
    adoptProgramRanking(program, data);
    QVERIFY(!QFileInfo::exists(data));
}

void TestRankFile::twoCopiesStoringTogetherLoseNothing() {
    // Two copies of the game store a thousand entries each, one after another as fast as they can, both at
    // the same time. Each entry beats the copy's previous one, which a rewrite from a stale read would drop.
    constexpr int kEntries = 1000;
    // In memory where the machine has it: the lock works the same, and no update waits for the disk.
    QTemporaryDir memory(QStringLiteral("/dev/shm/zorupa-test-XXXXXX"));
    const QString folder = memory.isValid() ? memory.path() : m_scratch.dir->path();
    const std::array<int, 2> sizes{4, 9};
    std::array<QProcess, 2> copies;
    for (std::size_t k = 0; k < copies.size(); ++k) {
        copies[k].start(QStringLiteral(RANK_RACER),
                        {folder, QString::number(sizes[k]), QString::number(kEntries)});
        QVERIFY(copies[k].waitForStarted());
    }
    for (QProcess& copy : copies) {
        copy.write("go\n");
        QVERIFY(copy.waitForBytesWritten()); // sent now, not when the test next waits on this copy
    }
    for (QProcess& copy : copies) {
        QVERIFY(copy.waitForFinished(50000));
        QCOMPARE(copy.exitCode(), 0);
        QCOMPARE(copy.readAllStandardOutput().trimmed(), QByteArray("0 0")); // none unsaved, none lost
    }
    Tables t;
    readRanking(readFile(folder + QStringLiteral("/ranking.txt")), t);
    for (const int size : sizes) {
        for (int place = 1; place <= kPlaces; ++place) {
            QCOMPARE(t.RankName[size][place], QString::number(kEntries - place));
        }
    }
}

void TestRankFile::aRewriteIsSyncedRenamedAndItsFolderSynced() {
    writeFile(path(), emptyRanking());
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    RecordingFileSystem calls;
    const Tables t = filledWith(QStringLiteral("x"));
    QVERIFY(writeRankingFile(path(), writeRanking(t), calls).ok);

    // Only once the data is on the disk may the name point at it, and only once the folder is synced does
    // the name stay.
    const QStringList expected{QStringLiteral("create"),
                               QStringLiteral("write new file"),
                               QStringLiteral("fsync new file"),
                               QStringLiteral("close new file"),
                               QStringLiteral("rename new file to ranking.txt"),
                               QStringLiteral("open folder"),
                               QStringLiteral("fsync folder"),
                               QStringLiteral("close folder")};
    QCOMPARE(calls.calls, expected);
    QCOMPARE(readFile(path()), writeRanking(t));
    QCOMPARE(QFile::permissions(path()),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QDir(m_scratch.dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("ranking.txt")});
}

void TestRankFile::aWriteFailsUntilTheRenameAndIsDoneFromIt_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("failure");
    QTest::addColumn<bool>("done"); // the new file stands in the old one's place and the write is told done
    QTest::newRow("the file's sync") << "fsync new file" << EIO << false;
    QTest::newRow("the file's close") << "close new file" << EIO << false;
    QTest::newRow("a full disk") << "write new file" << ENOSPC << false;
    QTest::newRow("the rename") << "rename new file to ranking.txt" << EXDEV << false;
    // After the rename the folder's own sync can only fail to make the rename outlast a power cut: told as
    // a failed save, it would have the player press OK again and store the same time twice.
    QTest::newRow("the folder's open") << "open folder" << EACCES << true;
    QTest::newRow("the folder's sync") << "fsync folder" << EIO << true;
    QTest::newRow("no folder sync there") << "fsync folder" << EINVAL << true;
}

void TestRankFile::aWriteFailsUntilTheRenameAndIsDoneFromIt() {
    QFETCH(QString, failing);
    QFETCH(int, failure);
    QFETCH(bool, done);
    const QByteArray old = writeRanking(filledWith(QStringLiteral("old")));
    RecordingFileSystem calls;
    calls.failing = failing;
    calls.failure = failure;
    Module1 ranking(m_scratch.dir->path(), calls);
    const auto expectNote = [&] {
        if (done && failure != EINVAL) {
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("could not be synced.*ranking")));
        }
    };

    writeFile(path(), old);
    expectNote();
    const EntryResult entry = ranking.recordEntry(4, QStringLiteral("00:01"), QStringLiteral("new"));
    QVERIFY2(calls.calls.contains(failing), qPrintable(calls.calls.join(u',')));
    QCOMPARE(entry.outcome, done ? Outcome::Stored : Outcome::NotSaved);
    QCOMPARE(entry.error.contains(QStringLiteral("ranking.txt")), !done);
    if (done) {
        // Once, at the place it earned, and every old entry one place lower.
        Tables stored;
        readRanking(readFile(path()), stored);
        QCOMPARE(stored.RankName[4][1], QStringLiteral("new"));
        for (int place = 2; place <= kPlaces; ++place) {
            QCOMPARE(stored.RankName[4][place], QStringLiteral("old"));
        }
        QCOMPARE(ranking.tables().RankName[4][1], QStringLiteral("new"));
    } else {
        QCOMPARE(readFile(path()), old);
    }
    // A file that could not be made whole is not left beside the ranking.
    QCOMPARE(QDir(m_scratch.dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("ranking.txt")});

    // A clearing likewise.
    writeFile(path(), old);
    calls.calls.clear();
    expectNote();
    const WriteResult clearing = ranking.myRankInit();
    QVERIFY2(calls.calls.contains(failing), qPrintable(calls.calls.join(u',')));
    QCOMPARE(clearing.ok, done);
    QCOMPARE(readFile(path()), done ? emptyRanking() : old);
    QCOMPARE(QDir(m_scratch.dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("ranking.txt")});
}

QTEST_GUILESS_MAIN(TestRankFile)
#include "test_rankfile.moc"
