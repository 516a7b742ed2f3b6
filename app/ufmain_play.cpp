// Playing: Start and the shuffle, the tile slide, clicks and keys, the solved test and the clock.
#include "engine/rules.h"
#include "pictures/painting.h"
#include "platform/dialogs.h"
#include "platform/pacedloop.h"
#include "platform/picturebox.h"
#include "platform/rounding.h"
#include "ufmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

void UFMain::runWhenIdle(std::function<void()> command) {
    if (isBusy()) {
        m_pending.push_back(std::move(command));
        return;
    }
    command();
}

void UFMain::runPending() {
    while (!m_pending.empty() && !isBusy() && !myClosed) {
        auto command = std::move(m_pending.front());
        m_pending.erase(m_pending.begin());
        command();
    }
}

std::vector<platform::PictureBox*> UFMain::tileSpan(int count) const {
    return {Picture1.begin(), Picture1.begin() + count};
}

void UFMain::myShokika() {
    const int n = m_board.myGridN;
    engine::myShokika(m_board);
    int k = 0;
    for (; k < n * n; ++k) {
        const engine::TilePlace place = engine::homePlace(k, n, m_board.myTileSize);
        Picture1[static_cast<std::size_t>(k)]->setGeometryTwips(place.left, place.top, place.side,
                                                                place.side);
        Picture1[static_cast<std::size_t>(k)]->setVisible(true);
    }
    // The last tile of the grid is hidden together with every unused box.
    for (int i = k - 1; i < engine::kTileCount; ++i) {
        Picture1[static_cast<std::size_t>(i)]->setVisible(false);
    }
}

void UFMain::paintTileFaces() {
    if (Picture0.isEmpty()) {
        return;
    }
    const int n = m_board.myGridN;
    pictures::paintPieces(tileSpan(n * n), Picture0, n, m_board.myTileSize);
    if (Check1->isChecked()) {
        pictures::overlayNumbers(tileSpan(engine::kTileCount));
    }
}

void UFMain::Command2_Click() {
    if (myShuffling) {
        return; // a Start during the shuffle would only repeat what is under way
    }
    runWhenIdle([this] {
        QPointer<UFMain> alive(this);
        myShuffling = true;
        layOutNewGame();
        if (!shuffle() || alive.isNull()) {
            return; // the window closed meanwhile
        }
        Picture2->setVisible(false);
        Text1->setFocus();
        myStartTime = m_clock->steady();
        myPlaying = true;
        myShuffling = false;
        runPending();
    });
}

void UFMain::layOutNewGame() {
    if (Picture0.isEmpty()) {
        pictures::numberBoxes(tileSpan(engine::kTileCount));
    }
    m_board.myGridN = static_cast<std::int16_t>(engine::gridForEntry(Combo1->currentIndex()));
    m_board.myTileSize = engine::tilePitch(m_board.myGridN);
    myShokika();
    paintTileFaces();
    m_board.myBlankX = static_cast<std::int16_t>(m_board.myGridN - 1);
    m_board.myBlankY = static_cast<std::int16_t>(m_board.myGridN - 1);
}

bool UFMain::shuffle() {
    QPointer<UFMain> alive(this);
    // Every move still yields, so clock ticks and input are served; but the board's hundreds of jumps are not
    // painted one by one (they would cost ten times the rest of Start): the client area repaints once after.
    m_surface->setUpdatesEnabled(false);
    const int n = m_board.myGridN;
    const int count = engine::shuffleCount(m_random->next(), n);
    int previous = engine::kNone;
    for (int counter = 1; counter <= count;) {
        const int d = engine::shuffleDirection(m_random->next());
        if (engine::isOpposite(d, previous)) {
            continue;
        }
        const bool moved = myMove(d, m_board.myTileSize, false);
        if (alive.isNull() || myClosed) {
            return false;
        }
        if (moved) {
            previous = d;
            ++counter;
        }
    }
    m_surface->setUpdatesEnabled(true);
    return true;
}

bool UFMain::myMove(int myD, int mySTP, bool mySound) {
    if (engine::isRefused(m_board, myD)) {
        return false;
    }
    const engine::Cell from = engine::movingCell(m_board, myD);
    const int t = m_board.myBoard[from.x][from.y];
    platform::PictureBox* box = Picture1[static_cast<std::size_t>(t)];
    const bool vertical = engine::slidesVertically(myD);
    const int sign = engine::slideSign(myD);
    const int p0 = vertical ? box->topTwips() : box->leftTwips();
    auto setCoordinate = [&](int value) { vertical ? box->setTopTwips(value) : box->setLeftTwips(value); };

    const std::vector<int> frames = engine::frameOffsets(myD, m_board.myTileSize, mySTP);
    QPointer<UFMain> alive(this);
    // A player's slide takes the same time whatever the grid size, every frame shown; a shuffle move only
    // yields.
    platform::PacedLoop loop(this, static_cast<int>(frames.size()),
                             mySound ? m_slideDuration : std::chrono::milliseconds{0});
    m_lastSlideFrames = 0;
    for (const int i : frames) {
        setCoordinate(p0 + sign * i);
        ++m_lastSlideFrames;
        if (!loop.yield() || myClosed) {
            if (!alive.isNull()) {
                setCoordinate(p0 + sign * m_board.myTileSize); // a closed window still leaves a whole board
                engine::applyMove(m_board, myD);
            }
            return !alive.isNull();
        }
    }
    setCoordinate(p0 + sign * m_board.myTileSize);
    engine::applyMove(m_board, myD);
    if (mySound) {
        m_sound->play(platform::programFolder() + QStringLiteral("/move.wav"));
    }
    return true;
}

void UFMain::Picture1_Click(int index) {
    if (!myPlaying || isBusy()) {
        return;
    }
    QPointer<UFMain> alive(this);
    myBusy = true;
    const int d = engine::clickToDirection(m_board, index);
    if (d != engine::kNone) {
        myMove(d, platform::nearest(double(m_board.myTileSize) / mySlideSteps), true);
    }
    if (alive.isNull() || myClosed) {
        return;
    }
    myCheck();
    myBusy = false;
    Text1->setFocus();
    runPending();
}

void UFMain::Text1_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (!myPlaying || isBusy()) {
        return;
    }
    QPointer<UFMain> alive(this);
    myBusy = true;
    const int d = engine::keyToDirection(keyCode);
    if (d != engine::kNone) {
        myMove(d, engine::playerStep(m_board.myTileSize), true);
    }
    if (alive.isNull() || myClosed) {
        return;
    }
    myCheck();
    myBusy = false;
    runPending();
}

void UFMain::myCheck() {
    if (!engine::isSolved(m_board)) {
        return;
    }
    myPlaying = false;
    m_finishedSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_clock->steady() - myStartTime).count();
    const int n = m_board.myGridN;
    Picture1[static_cast<std::size_t>(n * n - 1)]->setVisible(true);
    platform::messageBox(this, {QStringLiteral("完成です！"), QStringLiteral("完成通知"),
                                platform::MessageIcon::Information, platform::MessageButtons::Ok});
    handOverToRanking();
}

void UFMain::Timer1_Timer() {
    if (!myPlaying) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(m_clock->steady() - myStartTime);
    Label1->setText(QStringLiteral("経過時間　") +
                    QString::fromStdString(engine::clockText(elapsed.count())));
}
