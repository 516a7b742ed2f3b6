// Playing: Start and the shuffle, the tile slide, clicks and keys, the solved test and the clock. The game
// decides (engine::Game); this file asks it, animates what it answers and shows the result.
#include "engine/rules.h"
#include "pictures/painting.h"
#include "platform/dialogs.h"
#include "platform/pacedloop.h"
#include "platform/picturebox.h"
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

// myShokika (初期化, lays the tiles out): every tile box of the game at its home place, shown; the last tile
// of the grid hidden together with every unused box.
void UFMain::myShokika() {
    const engine::Layout layout = m_game.layout();
    const std::size_t count = layout.places.size();
    for (std::size_t k = 0; k < count; ++k) {
        const engine::TilePlace& place = layout.places[k];
        Picture1[k]->setGeometryTwips(place.left, place.top, place.side, place.side);
        Picture1[k]->setVisible(true);
    }
    for (std::size_t i = count - 1; i < Picture1.size(); ++i) {
        Picture1[i]->setVisible(false);
    }
}

void UFMain::paintTileFaces() {
    if (Picture0.isEmpty()) {
        return;
    }
    const engine::Layout layout = m_game.layout();
    pictures::paintPieces(tileSpan(static_cast<int>(layout.places.size())), Picture0, layout);
    if (Check1->isChecked()) {
        pictures::overlayNumbers(tileSpan(engine::kTileCount));
    }
}

void UFMain::Command2_Click() {
    if (m_game.shuffling()) {
        return; // a Start during the shuffle would only repeat what is under way
    }
    runWhenIdle([this] {
        QPointer<UFMain> alive(this);
        if (Picture0.isEmpty()) {
            pictures::numberBoxes(tileSpan(engine::kTileCount));
        }
        const std::vector<int> moves =
            m_game.start(engine::gridForEntry(Combo1->currentIndex()), [this] { return m_random->next(); });
        myShokika();
        paintTileFaces();
        if (!shuffle(moves) || alive.isNull()) {
            return; // the window closed meanwhile
        }
        Picture2->setVisible(false);
        Text1->setFocus();
        m_game.begin(m_clock->steady());
        runPending();
    });
}

bool UFMain::shuffle(const std::vector<int>& moves) {
    QPointer<UFMain> alive(this);
    // Every move still yields, so clock ticks and input are served; but the board's hundreds of jumps are not
    // painted one by one (they would cost ten times the rest of Start): the client area repaints once after.
    m_surface->setUpdatesEnabled(false);
    for (const int d : moves) {
        myMove(d, m_game.board().myTileSize, false);
        if (alive.isNull() || myClosed) {
            return false;
        }
    }
    m_surface->setUpdatesEnabled(true);
    return true;
}

bool UFMain::myMove(int myD, int mySTP, bool mySound) {
    const std::optional<engine::Move> move = m_game.moveFor(myD);
    if (!move) {
        return false;
    }
    platform::PictureBox* box = Picture1[static_cast<std::size_t>(move->tile)];
    const bool vertical = engine::slidesVertically(myD);
    const int sign = engine::slideSign(myD);
    const int pitch = m_game.board().myTileSize;
    const int p0 = vertical ? box->topTwips() : box->leftTwips();
    auto setCoordinate = [&](int value) { vertical ? box->setTopTwips(value) : box->setLeftTwips(value); };

    const std::vector<int> frames = engine::frameOffsets(myD, pitch, mySTP);
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
            break; // the window closed: the move still completes, so the board stays whole
        }
    }
    if (alive.isNull()) {
        return false;
    }
    setCoordinate(p0 + sign * pitch);
    m_game.apply(*move);
    if (mySound && !myClosed) {
        m_sound->play(platform::moveSoundPath());
    }
    return true;
}

void UFMain::Picture1_Click(int index) {
    if (m_loading) {
        m_pending.push_back([this, index] { Picture1_Click(index); }); // after the picture, in turn
        return;
    }
    if (!m_game.takesInput()) {
        return;
    }
    QPointer<UFMain> alive(this);
    m_game.setBusy(true);
    const int d = m_game.directionForClick(index);
    if (d != engine::kNone) {
        myMove(d, m_game.playerStep(), true);
    }
    if (alive.isNull() || myClosed) {
        return;
    }
    myCheck();
    m_game.setBusy(false);
    Text1->setFocus();
    runPending();
}

void UFMain::Text1_KeyDown(int keyCode, Qt::KeyboardModifiers shift) {
    if (m_loading) {
        m_pending.push_back([this, keyCode, shift] { Text1_KeyDown(keyCode, shift); });
        return;
    }
    if (!m_game.takesInput()) {
        return;
    }
    QPointer<UFMain> alive(this);
    m_game.setBusy(true);
    const int d = engine::keyToDirection(keyCode);
    if (d != engine::kNone) {
        myMove(d, m_game.playerStep(), true);
    }
    if (alive.isNull() || myClosed) {
        return;
    }
    myCheck();
    m_game.setBusy(false);
    runPending();
}

void UFMain::myCheck() {
    if (!m_game.finishIfSolved(m_clock->steady())) {
        return;
    }
    Picture1[static_cast<std::size_t>(m_game.missingTile())]->setVisible(true);
    platform::messageBox(this, {QStringLiteral("完成です！"), QStringLiteral("完成通知"),
                                platform::MessageIcon::Information, platform::MessageButtons::Ok});
    handOverToRanking();
}

void UFMain::Timer1_Timer() {
    if (const std::optional<std::string> shown = m_game.tick(m_clock->steady())) {
        Label1->setText(clockCaption(*shown));
    }
}
