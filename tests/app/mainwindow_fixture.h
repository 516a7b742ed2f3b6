// Building a main window for tests: hand-driven services, and checks of the board's invariants.
#pragma once

#include "engine/board.h"
#include "pictures/selection.h"
#include "platform/picturebox.h"
#include "ranking/module1.h"
#include "support/support.h"
#include "ufmain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>

namespace testing {

// Picture loads held open until the test lets each go: the window sees a load under way for exactly as long
// as the test wants, whatever the machine's speed.
class GatedLoader {
public:
    PictureLoader loader() const {
        return [waiting = m_waiting](const QString& path, int longSide) {
            auto promise = std::make_shared<QPromise<platform::Picture>>();
            promise->start();
            waiting->push_back({path, longSide, promise});
            return promise->future();
        };
    }
    int waiting() const { return int(m_waiting->size()); }
    QString nextPath() const { return m_waiting->empty() ? QString() : m_waiting->front().path; }
    // The oldest load ends with the picture the file really holds (decoded now, on this thread), or with the
    // picture given.
    void release() {
        Load load = take();
        load.promise->addResult(pictures::loadPicture(load.path, load.longSide));
        load.promise->finish();
    }
    void release(platform::Picture picture) {
        Load load = take();
        load.promise->addResult(std::move(picture));
        load.promise->finish();
    }

private:
    struct Load {
        QString path;
        int longSide = 0;
        std::shared_ptr<QPromise<platform::Picture>> promise;
    };
    Load take() {
        Load load = std::move(m_waiting->front());
        m_waiting->pop_front();
        return load;
    }
    std::shared_ptr<std::deque<Load>> m_waiting = std::make_shared<std::deque<Load>>();
};

struct Fixture {
    // A finished game hands its time to the ranking: keep that file out of the build's folders, in a folder
    // of the fixture's own unless the test names one.
    QTemporaryDir rankingFolder;
    ranking::Module1 ranking;
    ManualClock clock;
    RecordingSound sound;
    std::shared_ptr<TestDialogs> dialogs = std::make_shared<TestDialogs>();
    std::unique_ptr<UFMain> window;
    // How often the window got a decoding ready ahead of a choice, and let it go again.
    int preparedLoads = 0;
    int endedPreparedLoads = 0;

    // Loads held by the test's gate when it gives one, else decoded for real.
    explicit Fixture(std::unique_ptr<platform::UniformSource> random = nullptr,
                     std::chrono::milliseconds slide = std::chrono::milliseconds(2),
                     const QString& folder = {}, const GatedLoader* gate = nullptr)
        : ranking(folder.isEmpty() ? rankingFolder.path() : folder), slideDuration(slide) {
        UFMain::Services services;
        services.random = random ? std::move(random) : std::make_unique<platform::ClockSeededSource>(42);
        services.clock = std::make_unique<ManualClock>(clock);
        services.sound = std::make_unique<RecordingSound>(sound);
        services.dialogs = dialogs;
        services.prepareLoad = [this] { ++preparedLoads; };
        services.endPreparedLoad = [this] { ++endedPreparedLoads; };
        if (gate) {
            services.loadPicture = gate->loader();
        }
        services.slideDuration = slide;
        window = std::make_unique<UFMain>(ranking, std::move(services));
    }
    ~Fixture() { window.reset(); }
    std::chrono::milliseconds slideDuration;
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;
    UFMain& w() { return *window; }
    template <typename T> T* child(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* text1() { return child<QLineEdit>("Text1"); }
    QString clock1() { return child<QLabel>("Label1")->text(); }
    // Shows the window and starts a game of the selected size; false when the window never appeared.
    [[nodiscard]] bool showAndStart() {
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            return false;
        }
        window->Command2_Click();
        return true;
    }
    void selectSize(int n) { child<QComboBox>("Combo1")->setCurrentIndex(n - 3); }
    bool idle() const { return window->phase() == UFMain::Phase::Idle; }
    bool sliding() const { return window->phase() == UFMain::Phase::Sliding; }
    // Plays a slide under way to its end (the clock moves by the slide's time), and waits for a real picture
    // load to end; false when the window is still sliding or loading after that.
    [[nodiscard]] bool settle() {
        if (sliding()) {
            clock.advance(slideDuration);
        }
        (void)QTest::qWaitFor([this] { return window->phase() != UFMain::Phase::Loading; }, 60000);
        return !sliding() && window->phase() != UFMain::Phase::Loading;
    }
    // Half of a slide under way has been shown.
    void halfASlide() { clock.advance(slideDuration / 2); }
    // A key pressed on the board as the platform sends it, and the slide it starts played to its end.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(text1(), key, modifiers);
        QVERIFY(settle());
    }
    // A click on tile t, and the slide it starts played to its end.
    void clickTile(int t) {
        QTest::mouseClick(window->tile(t), Qt::LeftButton);
        QVERIFY(settle());
    }
    // A picture of one colour, square, so every piece is that colour.
    void setPlainPicture(QColor colour) {
        QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(colour);
        window->setCurrentPicture(testing::rasterPictureFromImage(image));
    }
};

// Every tile but the missing one stands at the cell the board says, and each index is there once.
inline QString boardInconsistency(const UFMain& w) {
    const engine::Board& b = w.board();
    const int n = b.myGridN;
    std::vector<int> seen(static_cast<std::size_t>(n * n), 0);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (x == b.myBlankX && y == b.myBlankY) {
                continue;
            }
            const int t = b.myBoard[x][y];
            if (t < 0 || t >= n * n - 1) {
                return QStringLiteral("cell %1,%2 holds %3").arg(x).arg(y).arg(t);
            }
            ++seen[static_cast<std::size_t>(t)];
            const auto* box = w.tile(t);
            const engine::TilePlace place = engine::cellPlace({x, y}, b.myTileSize);
            if (box->leftTwips() != place.left || box->topTwips() != place.top) {
                return QStringLiteral("tile %1 stands at %2,%3 twips, not in cell %4,%5")
                    .arg(t)
                    .arg(box->leftTwips())
                    .arg(box->topTwips())
                    .arg(x)
                    .arg(y);
            }
        }
    }
    for (int t = 0; t < n * n - 1; ++t) {
        if (seen[static_cast<std::size_t>(t)] != 1) {
            return QStringLiteral("tile %1 stands %2 times").arg(t).arg(seen[static_cast<std::size_t>(t)]);
        }
    }
    return {};
}

// The key that moves a tile by the given direction code.
inline Qt::Key keyFor(int direction) {
    switch (direction) {
    case engine::kFromAbove:
        return Qt::Key_Down;
    case engine::kFromBelow:
        return Qt::Key_Up;
    case engine::kFromLeft:
        return Qt::Key_Right;
    default:
        return Qt::Key_Left;
    }
}

} // namespace testing
