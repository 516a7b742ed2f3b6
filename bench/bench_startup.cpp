// Start-up against a bare Qt window and one with the game's Japanese text, side by side in one run: process
// start to the first painted frame, and resident memory two seconds later. Each program runs as a process
// of its own, in turn, so that the machine's state at the moment weighs on all alike.
#include "application.h"
#include "bench.h"
#include "ranking/module1.h"
#include "ufmain.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <array>
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
            QTimer::singleShot(2000, qApp, [cpu = bench::cpuMs()] {
                std::printf("%lld\n%.2f\n", residentKilobytes(), cpu);
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

// What any Qt program with the game's Japanese text pays: a main window in the interface font with a menu
// bar, a label, a button and the list of sizes, and no picture.
int japaneseChild() {
    int argc = 1;
    QApplication app(argc, gArgv);
    QApplication::setFont(QFont(QStringLiteral("IPAGothic"), 9));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zorupa Nemi"));
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->addAction(QStringLiteral("画像指定(&G)"));
    file->addAction(QStringLiteral("終了(&E)"));
    window.menuBar()->addMenu(QStringLiteral("ゲーム(&G)"))->addAction(QStringLiteral("スタート(&N)"));
    window.menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"))->addAction(QStringLiteral("バージョン情報(&A)"));
    auto* form = new QWidget(&window);
    window.setCentralWidget(form);
    auto* label = new QLabel(QStringLiteral("経過時間　00:00"), form);
    label->setGeometry(448, 248, 83, 11);
    auto* button = new QPushButton(QStringLiteral("スタート"), form);
    button->setGeometry(448, 184, 81, 25);
    auto* sizes = new QComboBox(form);
    sizes->setEditable(true);
    sizes->setGeometry(456, 80, 65, 20);
    for (int n = 3; n <= 10; ++n) {
        sizes->addItem(QStringLiteral("%1×%1").arg(n));
    }
    sizes->setCurrentIndex(2);
    window.resize(562, 458);
    FirstPaint probe;
    form->installEventFilter(&probe);
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

const bool registered = (bench::addChild("game-start", gameChild), bench::addChild("bare-start", bareChild),
                         bench::addChild("japanese-start", japaneseChild), true);

struct Start {
    double ms = 0;
    double megabytes = 0;
    double cpuMs = 0; // of every thread up to the first paint: a busy machine barely moves it
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
    if (lines.size() < 3) {
        return std::nullopt;
    }
    return Start{(lines[0].toLongLong() - t0) / 1e6, lines[1].toLongLong() / 1024.0, lines[2].toDouble()};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

ZORUPA_BENCH(startup_first_paint) {
    constexpr int kRuns = 7;
    const std::array<const char*, 3> children = {"bare-start", "japanese-start", "game-start"};
    std::array<std::vector<double>, 3> ms, mb, cpu;
    for (const char* child : children) {
        startOnce(child); // warms the caches for all
    }
    for (int run = 0; run < kRuns; ++run) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (const auto start = startOnce(children[i])) {
                ms[i].push_back(start->ms);
                mb[i].push_back(start->megabytes);
                cpu[i].push_back(start->cpuMs);
            }
        }
    }
    if (std::any_of(ms.begin(), ms.end(), [](const auto& v) { return v.empty(); })) {
        bench::report("start-up", "no figure: a child did not paint");
        return;
    }
    const double bareMs = median(ms[0]), japaneseMs = median(ms[1]), gameMs = median(ms[2]);
    const double bareMb = median(mb[0]), japaneseMb = median(mb[1]), gameMb = median(mb[2]);
    char line[240];
    std::snprintf(line, sizeof line,
                  "bare window %6.1f ms, Japanese-text window %6.1f ms, game %6.1f ms: %.2f x the Japanese "
                  "window (target 1.2), %.2f x the bare one  [%zu runs each]",
                  bareMs, japaneseMs, gameMs, gameMs / japaneseMs, gameMs / bareMs, ms[2].size());
    bench::report("process start to first painted frame", line);
    const double bareCpu = median(cpu[0]), japaneseCpu = median(cpu[1]), gameCpu = median(cpu[2]);
    std::snprintf(line, sizeof line,
                  "bare window %6.1f ms, Japanese-text window %6.1f ms, game %6.1f ms: %.2f x the Japanese "
                  "window, %.2f x the bare one",
                  bareCpu, japaneseCpu, gameCpu, gameCpu / japaneseCpu, gameCpu / bareCpu);
    bench::report("CPU time to the first painted frame", line);
    std::snprintf(line, sizeof line,
                  "bare window %6.1f MB, Japanese-text window %6.1f MB, game %6.1f MB: %.2f x the Japanese "
                  "window (target 1.1), %.2f x the bare one",
                  bareMb, japaneseMb, gameMb, gameMb / japaneseMb, gameMb / bareMb);
    bench::report("resident memory 2 s after start", line);
}
