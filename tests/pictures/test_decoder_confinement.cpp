// The decoder helper as an attacker finds it: a test build of the helper whose decoder, given a marked file,
// tries every way out (decoderprobe.h), started through the game's own loader. Every attempt must be
// refused and the game's world left as it was; where the kernel lacks Landlock, everything but reading;
// where the seccomp filter cannot be installed, the helper decodes nothing at all.
#include "decoderprobe.h"
#include "pictures/decoder/format.h"
#include "pictures/selection.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <linux/landlock.h>
#include <netinet/in.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
std::atomic<int> g_signals{0};

int landlockAbi() {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

QString attemptName(int attempt) {
    static const char* const kNames[] = {"read a secret in the home folder",
                                         "send it over TCP",
                                         "list the home folder",
                                         "delete a file in the home folder",
                                         "write into a file in the home folder",
                                         "create a file in /tmp",
                                         "connect to the session bus",
                                         "connect to the X display",
                                         "connect to an abstract socket",
                                         "open a UDP or netlink socket",
                                         "fork",
                                         "ptrace the game",
                                         "read the game's environment",
                                         "open the game's memory",
                                         "signal the game",
                                         "remove the player's shared memory",
                                         "run /bin/sh"};
    return QString::fromLatin1(kNames[attempt]);
}

// Reading files is all that is left to a helper without Landlock: its other layers hold the rest, the
// game's own memory and environment included.
bool isRead(int attempt) {
    return attempt == probe::ReadSecret || attempt == probe::ListHome;
}

// A listening socket that the probe is told of; whatever reaches it is an escape.
class Listener {
public:
    Listener(int family, const QByteArray& path = {}, bool abstract = false) {
        m_fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (family == AF_INET) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                   ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
            m_port = ntohs(address.sin_port);
        } else {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const int offset = abstract ? 1 : 0;
            std::memcpy(address.sun_path + offset, path.constData(), std::size_t(path.size()));
            m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address),
                          socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size())) == 0;
        }
        m_ok = m_ok && ::listen(m_fd, 4) == 0;
    }
    ~Listener() { ::close(m_fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool ok() const { return m_ok; }
    int port() const { return m_port; }
    bool reached() const {
        const int peer = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer >= 0) {
            ::close(peer);
        }
        return peer >= 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
    bool m_ok = false;
};

// What the probe aims at: a home folder with a secret, a file to delete and one to write, a path in /tmp,
// a TCP listener, a bus and a display socket, an abstract socket.
class World {
public:
    World()
        : m_tmpFile(QStringLiteral("/tmp/zorupa-probe-%1-%2").arg(::getpid()).arg(++s_count)), m_tcp(AF_INET),
          m_bus(AF_UNIX, QFile::encodeName(m_dir.filePath(QStringLiteral("bus")))),
          m_display(AF_UNIX, QFile::encodeName(m_dir.filePath(QStringLiteral("X0")))),
          m_abstract(AF_UNIX,
                     QByteArray("zorupa-probe-") + QByteArray::number(::getpid()) + '-' +
                         QByteArray::number(s_count),
                     true),
          m_shm(::shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600)) {}
    ~World() {
        if (m_shm >= 0) {
            ::shmctl(m_shm, IPC_RMID, nullptr);
        }
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    bool ok() {
        QDir(m_dir.path()).mkdir(QStringLiteral("home"));
        return m_dir.isValid() && write(QStringLiteral("home/secret"), "the player's secret") &&
               write(QStringLiteral("home/victim"), "keep me") &&
               write(QStringLiteral("home/writable"), "as it was") && m_tcp.ok() && m_bus.ok() &&
               m_display.ok() && m_abstract.ok() && m_shm >= 0 && !QFile::exists(m_tmpFile);
    }

    // The marked file, in the folder the player chose it from.
    QString probeFile() {
        QByteArray text = probe::kMark;
        auto line = [&text](const char* key, const QString& value) {
            text += QByteArray(key) + '=' + QFile::encodeName(value) + '\n';
        };
        line("home", m_dir.filePath(QStringLiteral("home")));
        line("secret", m_dir.filePath(QStringLiteral("home/secret")));
        line("victim", m_dir.filePath(QStringLiteral("home/victim")));
        line("writable", m_dir.filePath(QStringLiteral("home/writable")));
        line("tmpfile", m_tmpFile);
        line("port", QString::number(m_tcp.port()));
        line("bus", m_dir.filePath(QStringLiteral("bus")));
        line("display", m_dir.filePath(QStringLiteral("X0")));
        text += "abstract=zorupa-probe-" + QByteArray::number(::getpid()) + '-' +
                QByteArray::number(s_count) + '\n';
        text += "shm=" + QByteArray::number(m_shm) + '\n';
        const QString path = m_dir.filePath(QStringLiteral("probe.jpg"));
        write(QStringLiteral("probe.jpg"), text);
        return path;
    }

    // Nothing deleted, written or created; no socket reached.
    void verifyUntouched() {
        QVERIFY2(QFile::exists(m_dir.filePath(QStringLiteral("home/victim"))),
                 "a file in the home was deleted");
        QFile writable(m_dir.filePath(QStringLiteral("home/writable")));
        QVERIFY(writable.open(QIODevice::ReadOnly));
        QCOMPARE(writable.readAll(), QByteArray("as it was"));
        QVERIFY2(!QFile::exists(m_tmpFile), "a file was created in /tmp");
        QFile::remove(m_tmpFile);
        QVERIFY2(!m_tcp.reached(), "the TCP listener was reached");
        QVERIFY2(!m_bus.reached(), "the bus socket was reached");
        QVERIFY2(!m_display.reached(), "the display socket was reached");
        QVERIFY2(!m_abstract.reached(), "the abstract socket was reached");
        shmid_ds segment{};
        QVERIFY2(::shmctl(m_shm, IPC_STAT, &segment) == 0, "the shared memory segment was removed");
    }

private:
    bool write(const QString& name, const QByteArray& bytes) {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    static inline int s_count = 0;
    QTemporaryDir m_dir;
    QString m_tmpFile;
    Listener m_tcp, m_bus, m_display, m_abstract;
    int m_shm;
};

pictures::DecoderSettings probeHelper() {
    pictures::DecoderSettings settings;
    settings.helper = QStringLiteral(ZORUPA_DECODER_PROBE);
    settings.timeLimit = std::chrono::milliseconds(120000); // judged by what it does, not how fast
    return settings;
}

// One character an attempt, '1' where it succeeded, from the probe's answer.
QString outcomesOf(const platform::Picture& picture) {
    QString out;
    for (int x = 0; x < picture.image().width(); ++x) {
        out += qRed(picture.image().pixel(x, 0)) > 127 ? u'1' : u'0';
    }
    return out;
}

// Every attempt refused, but those allowed to succeed; the probe's threads at work.
void verifyHeld(const QString& outcomes, bool readsAllowed) {
    QCOMPARE(outcomes.size(), int(probe::kPixels));
    QVERIFY2(outcomes[probe::StartThread] == u'1', "the probe could not start a thread: it proves nothing");
    for (int attempt = 0; attempt < probe::kAttempts; ++attempt) {
        if (!(readsAllowed && isRead(attempt))) {
            QVERIFY2(outcomes[attempt] == u'0',
                     qPrintable(attemptName(attempt) + QStringLiteral(": not refused")));
        }
    }
}

// The game's loader run in a process of its own, whose inherited filter takes a layer from the helper.
struct FilteredRun {
    QStringList answers;
    QString errors;
};
FilteredRun loadUnderFilter(const char* mode, const QString& helper, const QString& file, int loads = 1) {
    QProcess runner;
    runner.start(QStringLiteral(ZORUPA_LOAD_UNDER_FILTER),
                 {QString::fromLatin1(mode), helper, file, QString::number(loads)});
    runner.waitForFinished(300000);
    FilteredRun run;
    run.answers = QString::fromUtf8(runner.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(runner.readAllStandardError());
    return run;
}

QString pngFile(const QTemporaryDir& dir) {
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString path = dir.filePath(QStringLiteral("red.png"));
    image.save(path, "PNG");
    return path;
}
} // namespace

class DecoderConfinement : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        struct sigaction count {};
        count.sa_handler = [](int) { g_signals.fetch_add(1); };
        QCOMPARE(::sigaction(SIGURG, &count, nullptr), 0);
        qInfo("Landlock ABI of this kernel: %d", landlockAbi());
    }

    // A drop of the marked file on the game, through the game's own loader: every attempt is refused (with
    // Landlock; without it, reads may succeed) and the game's world is as it was.
    void everyEscapeHeld() {
        World world;
        QVERIFY(world.ok());
        const platform::Picture answer = pictures::loadPicture(world.probeFile(), 4096, probeHelper());
        QVERIFY2(!answer.isEmpty(), "no answer: the helper ended, or a shell took its place");
        QString errors;
        for (int x = 0; x < answer.image().width(); ++x) {
            errors += QStringLiteral(" %1").arg(qGreen(answer.image().pixel(x, 0)));
        }
        qInfo("attempts (1: succeeded): %s, errno:%s", qPrintable(outcomesOf(answer)), qPrintable(errors));
        verifyHeld(outcomesOf(answer), landlockAbi() == 0);
        world.verifyUntouched();
        QCOMPARE(g_signals.load(), 0);
    }

    // A kernel without Landlock: the helper goes on with its other layers, which still refuse every attempt
    // but reading; the player's pictures still show, and the game says so once on its standard error.
    void withoutLandlock() {
        World world;
        QVERIFY(world.ok());
        const FilteredRun probed =
            loadUnderFilter("no-landlock", QStringLiteral(ZORUPA_DECODER_PROBE), world.probeFile());
        QCOMPARE(probed.answers.size(), 2);
        QVERIFY2(probed.answers[0].startsWith(QStringLiteral("%1x1 ").arg(int(probe::kPixels))),
                 qPrintable(probed.answers[0]));
        qInfo("attempts without Landlock (1: succeeded): %s", qPrintable(probed.answers[0].section(u' ', 1)));
        verifyHeld(probed.answers[0].section(u' ', 1), true);
        QCOMPARE(probed.answers[1], QStringLiteral("signals 0"));
        world.verifyUntouched();

        QTemporaryDir dir;
        const FilteredRun twice =
            loadUnderFilter("no-landlock", QStringLiteral(ZORUPA_DECODER_PROBE), pngFile(dir), 2);
        QCOMPARE(twice.answers, QStringList({QStringLiteral("40x20 "), QStringLiteral("40x20 "),
                                             QStringLiteral("signals 0")}));
        QCOMPARE(twice.errors.count(QStringLiteral("no Landlock")), 1);
    }

    // A system that refuses the seccomp filter: the helper decodes nothing, not even a sound picture, and
    // the probe gets no chance to try anything.
    void withoutTheFilter() {
        QTemporaryDir dir;
        const FilteredRun sound =
            loadUnderFilter("no-seccomp", QStringLiteral(ZORUPA_DECODER_PROBE), pngFile(dir));
        QCOMPARE(sound.answers, QStringList({QStringLiteral("empty"), QStringLiteral("signals 0")}));
        World world;
        QVERIFY(world.ok());
        const FilteredRun probed =
            loadUnderFilter("no-seccomp", QStringLiteral(ZORUPA_DECODER_PROBE), world.probeFile());
        QCOMPARE(probed.answers, QStringList({QStringLiteral("empty"), QStringLiteral("signals 0")}));
        world.verifyUntouched();
    }
};

QTEST_GUILESS_MAIN(DecoderConfinement)
#include "test_decoder_confinement.moc"
