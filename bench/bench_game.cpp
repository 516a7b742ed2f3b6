// Figures of the main window and of play: start-up to the first painted frame, painting the tile faces,
// Start for the smallest and the largest grid, and one player's slide.
#include "application.h"
#include "bench.h"
#include "pictures/painting.h"
#include "platform/picturebox.h"
#include "ufmain.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdio>

namespace {

// Prints when the main window's client area is first painted, then ends the process.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QMetaObject::invokeMethod(
                qApp,
                [] {
                    std::printf("%lld\n", bench::monotonicNs());
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_done = false;
};

int firstPaintChild() {
    int argc = 1;
    char name[] = "zorupa-bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    setupApplication(app);
    UFMain window;
    FirstPaint probe;
    window.centralWidget()->installEventFilter(&probe);
    window.show();
    return app.exec();
}
const bool registered = (bench::addChild("first-paint", firstPaintChild), true);

UFMain::Services quietServices() {
    UFMain::Services s;
    s.random = std::make_unique<platform::ClockSeededSource>(1);
    struct Silent : platform::SoundPlayer {
        void play(const QString&) override {}
    };
    s.sound = std::make_unique<Silent>();
    return s;
}

} // namespace

ZORUPA_BENCH(startup_first_paint) {
    std::vector<double> ms;
    for (int run = 0; run < 11; ++run) {
        QProcess child;
        const long long t0 = bench::monotonicNs();
        child.start(QCoreApplication::applicationFilePath(), {"--child", "first-paint"});
        child.waitForFinished(10000);
        const long long painted = QString::fromLatin1(child.readAllStandardOutput()).trimmed().toLongLong();
        if (run > 0 && painted > 0) { // the first run warms the caches
            ms.push_back((painted - t0) / 1e6);
        }
    }
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        bench::report("process start to first painted frame", "no figure: the child did not paint");
        return;
    }
    char line[160];
    std::snprintf(line, sizeof line, "median %7.1f ms  (min %7.1f, max %7.1f)  [%zu runs]", ms[ms.size() / 2],
                  ms.front(), ms.back(), ms.size());
    bench::report("process start to first painted frame", line);
}

ZORUPA_BENCH(paint_tile_faces) {
    UFMain w(quietServices());
    w.findChild<QComboBox*>("Combo1")->setCurrentIndex(7);
    w.Command2_Click();
    std::vector<platform::PictureBox*> boxes;
    for (int i = 0; i < 100; ++i) {
        boxes.push_back(w.tile(i));
    }
    const engine::Layout layout = engine::homeLayout(10, engine::tilePitch(10));
    bench::measure("paint 100 pieces, N = 10", 50,
                   [&] { pictures::paintPieces(boxes, w.currentPicture(), layout); });
    bench::measure("paint 100 pieces and their numbers, N = 10", 50, [&] {
        pictures::paintPieces(boxes, w.currentPicture(), layout);
        pictures::overlayNumbers(boxes);
    });
}

ZORUPA_BENCH(start_to_playing) {
    for (int n : {3, 10}) {
        UFMain w(quietServices());
        w.show();
        (void)QTest::qWaitForWindowExposed(&w);
        w.findChild<QComboBox*>("Combo1")->setCurrentIndex(n - 3);
        bench::measure("Start (F2) to playing, N = " + std::to_string(n), 30, [&] {
            QTest::keyClick(&w, Qt::Key_F2);
            QCoreApplication::processEvents(); // the repaint that shows the shuffled board
        });
    }
}

ZORUPA_BENCH(player_slide) {
    for (int n : {3, 10}) {
        UFMain w(quietServices());
        w.show();
        (void)QTest::qWaitForWindowExposed(&w);
        w.findChild<QComboBox*>("Combo1")->setCurrentIndex(n - 3);
        w.Command2_Click();
        auto* sink = w.findChild<QLineEdit*>("Text1");
        int frames = 0;
        const bench::Figures f = bench::measure("one player slide, N = " + std::to_string(n), 20, [&] {
            // Up and down in turn, so every slide moves a tile.
            const bool up = w.board().myBlankY < n - 1;
            QTest::keyClick(sink, up ? Qt::Key_Up : Qt::Key_Down);
            frames = w.lastSlideFrames();
        });
        char line[120];
        std::snprintf(line, sizeof line, "%d frames, CPU %.0f %% of one core during the slide", frames,
                      100.0 * f.cpuMedianMs / f.medianMs);
        bench::report("  slide, N = " + std::to_string(n), line);
    }
}
