// Start-up against a bare Qt window, side by side in one run: process start to the first painted frame, and
// resident memory two seconds later. Each program runs as a process of its own, alternating, so that the
// machine's state at the moment weighs on both alike.
#include "application.h"
#include "bench.h"
#include "ranking/module1.h"
#include "ufmain.h"

#include <QApplication>
#include <QFile>
#include <QPaintEvent>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

long long residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong();
        }
    }
    return -1;
}

// Prints the moment of the first paint of the watched widget, then, two seconds later, the resident memory;
// then ends the process.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            std::printf("%lld\n", bench::monotonicNs());
            std::fflush(stdout);
            QTimer::singleShot(2000, qApp, [] {
                std::printf("%lld\n", residentKilobytes());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_done = false;
};

char gName[] = "zorupa-bench";
char* gArgv[] = {gName, nullptr};

int gameChild() {
    int argc = 1;
    QApplication app(argc, gArgv);
    setupApplication(app);
    ranking::Module1 ranking;
    UFMain window(ranking);
    FirstPaint probe;
    window.centralWidget()->installEventFilter(&probe);
    window.show();
    return app.exec();
}

// What any Qt program pays: a titled window, shown.
int bareChild() {
    int argc = 1;
    QApplication app(argc, gArgv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zorupa Nemi"));
    window.resize(562, 458);
    FirstPaint probe;
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}

const bool registered =
    (bench::addChild("game-start", gameChild), bench::addChild("bare-start", bareChild), true);

struct Start {
    double ms = 0;
    double megabytes = 0;
};

std::optional<Start> startOnce(const char* child) {
    QProcess process;
    const long long t0 = bench::monotonicNs();
    process.start(QCoreApplication::applicationFilePath(), {"--child", child});
    if (!process.waitForFinished(20000)) {
        process.kill();
        return std::nullopt;
    }
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    if (lines.size() < 2) {
        return std::nullopt;
    }
    return Start{(lines[0].toLongLong() - t0) / 1e6, lines[1].toLongLong() / 1024.0};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

ZORUPA_BENCH(startup_first_paint) {
    constexpr int kRuns = 7;
    std::vector<double> gameMs, bareMs, gameMb, bareMb;
    startOnce("bare-start"); // warms the caches for both
    startOnce("game-start");
    for (int run = 0; run < kRuns; ++run) {
        if (const auto bare = startOnce("bare-start")) {
            bareMs.push_back(bare->ms);
            bareMb.push_back(bare->megabytes);
        }
        if (const auto game = startOnce("game-start")) {
            gameMs.push_back(game->ms);
            gameMb.push_back(game->megabytes);
        }
    }
    if (gameMs.empty() || bareMs.empty()) {
        bench::report("start-up", "no figure: a child did not paint");
        return;
    }
    char line[200];
    std::snprintf(line, sizeof line, "bare window %6.1f ms, game %6.1f ms: %.2f x  [%zu runs each]",
                  median(bareMs), median(gameMs), median(gameMs) / median(bareMs), gameMs.size());
    bench::report("process start to first painted frame", line);
    std::snprintf(line, sizeof line, "bare window %6.1f MB, game %6.1f MB: %.2f x", median(bareMb),
                  median(gameMb), median(gameMb) / median(bareMb));
    bench::report("resident memory 2 s after start", line);
}
