// Figures of the main window and of play: painting the tile faces, Start for the smallest and the largest
// grid, and one player's slide.
#include "application.h"
#include "bench.h"
#include "pictures/painting.h"
#include "platform/picturebox.h"
#include "ranking/module1.h"
#include "ufmain.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

UFMain::Services quietServices() {
    UFMain::Services s;
    s.random = std::make_unique<platform::ClockSeededSource>(1);
    struct Silent : platform::SoundPlayer {
        void play(const QString&) override {}
    };
    s.sound = std::make_unique<Silent>();
    return s;
}

// A finished game offers its time to the ranking: a folder of the benchmark's own keeps it.
ranking::Module1& scratchRanking() {
    static QTemporaryDir folder;
    static ranking::Module1 ranking(folder.path());
    return ranking;
}

} // namespace

ZORUPA_BENCH(paint_tile_faces) {
    UFMain w(scratchRanking(), quietServices());
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
        UFMain w(scratchRanking(), quietServices());
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
        UFMain w(scratchRanking(), quietServices());
        w.show();
        (void)QTest::qWaitForWindowExposed(&w);
        w.findChild<QComboBox*>("Combo1")->setCurrentIndex(n - 3);
        w.Command2_Click();
        auto* sink = w.findChild<QLineEdit*>("Text1");
        int frames = 0;
        const bench::Figures f = bench::measure("one player slide, N = " + std::to_string(n), 20, [&] {
            // Up and down in turn, so every slide moves a tile.
            const bool up = w.board().myBlankY < n - 1;
            const engine::Board before = w.board();
            QTest::keyClick(sink, up ? Qt::Key_Up : Qt::Key_Down);
            // The tile that moved stands where the empty cell was.
            bench::MoveCounter counter;
            w.tile(w.board().myBoard[before.myBlankX][before.myBlankY])->installEventFilter(&counter);
            bench::waitUntil([&w] { return w.phase() == UFMain::Phase::Idle; });
            frames = counter.moves;
        });
        char line[120];
        std::snprintf(line, sizeof line, "%d positions shown, CPU %.0f %% of one core during the slide",
                      frames, 100.0 * f.cpuMedianMs / f.medianMs);
        bench::report("  slide, N = " + std::to_string(n), line);
    }
}

ZORUPA_BENCH(idle_cpu) {
    UFMain w(scratchRanking(), quietServices());
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    QTest::qWait(1000); // what start-up leaves to do after the first frame is done by now
    const double before = bench::cpuMs();
    QEventLoop idle; // not QTest::qWait, which wakes every 10 ms itself
    QTimer::singleShot(10000, &idle, &QEventLoop::quit);
    idle.exec();
    char line[120];
    std::snprintf(line, sizeof line, "%.1f ms of CPU in 10 s with the window open and no game",
                  bench::cpuMs() - before);
    bench::report("idle", line);
}
