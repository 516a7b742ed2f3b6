// Playing: Start and the shuffle, the tile slide, clicks and keys, the finish and the clock. The game decides
// (engine::Game); this file hands it the player's input, animates the moves it answers and shows the finish
// it reports.
#include "pictures/painting.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/pacedloop.h"
#include "platform/picturebox.h"
#include "ufmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

void UFMain::runInTurn(engine::Command kind, std::function<void()> command) {
    switch (m_game.turnFor(kind)) {
    case engine::Turn::Now:
        command();
        break;
    case engine::Turn::Later:
        m_pending.push_back(std::move(command));
        break;
    case engine::Turn::Never:
        break;
    }
}

void UFMain::runPending() {
    while (!m_pending.empty() && !m_game.busy() && !myClosed) {
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
    runInTurn(engine::Command::Start, [this] {
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
        const std::optional<engine::Move> move = m_game.moveFor(d);
        Q_ASSERT(move); // the game drew only moves that the board as it stands allows
        if (!move) {
            continue;
        }
        if (!myMove(*move, m_game.board().myTileSize, false)) {
            return false;
        }
        m_game.apply(*move);
        if (myClosed) {
            return false;
        }
    }
    m_surface->setUpdatesEnabled(true);
    return true;
}

// The tile of a move slides into the empty cell, frame by frame, and stands there exactly; the board itself
// is written by the game once the slide has ended. False when the window was deleted meanwhile.
bool UFMain::myMove(const engine::Move& move, int mySTP, bool mySound) {
    platform::PictureBox* box = Picture1[static_cast<std::size_t>(move.tile)];
    const bool vertical = engine::slidesVertically(move.direction);
    const int sign = engine::slideSign(move.direction);
    const int pitch = m_game.board().myTileSize;
    const int p0 = vertical ? box->topTwips() : box->leftTwips();
    auto setCoordinate = [&](int value) { vertical ? box->setTopTwips(value) : box->setLeftTwips(value); };

    const std::vector<int> frames = engine::frameOffsets(move.direction, pitch, mySTP);
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
    if (mySound && !myClosed) {
        m_sound->play(platform::moveSoundPath());
    }
    return true;
}

bool UFMain::playerInput(const engine::Input& input) {
    const engine::Answer answer = m_game.input(input, m_clock->steady());
    if (answer.kind == engine::Answer::Kind::NotNow) {
        return false; // no game, or a move, a shuffle or a picture load under way: dropped, not queued
    }
    QPointer<UFMain> alive(this);
    std::optional<engine::Finish> finish = answer.finish;
    if (answer.kind == engine::Answer::Kind::Move) {
        if (!myMove(answer.move, m_game.playerStep(), true)) {
            return false;
        }
        finish = m_game.moved(answer.move, m_clock->steady());
    }
    if (myClosed) {
        return false;
    }
    if (finish) {
        announceFinish(*finish);
        if (alive.isNull() || myClosed) {
            return false;
        }
    }
    runPending();
    return !alive.isNull() && !myClosed;
}

void UFMain::Picture1_Click(int index) {
    if (playerInput(engine::Input::click(index))) {
        Text1->setFocus();
    }
}

namespace {
engine::Travel travelOf(platform::Arrow arrow) {
    switch (arrow) {
    case platform::Arrow::Left:
        return engine::Travel::Left;
    case platform::Arrow::Up:
        return engine::Travel::Up;
    case platform::Arrow::Right:
        return engine::Travel::Right;
    case platform::Arrow::Down:
        return engine::Travel::Down;
    default:
        return engine::Travel::None;
    }
}
} // namespace

void UFMain::Text1_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    playerInput(engine::Input::key(travelOf(platform::arrowOfKey(keyCode)))); // Shift is not looked at
}

// The game has reported its finish: the missing piece is shown, the completion announced, and the time
// offered to the ranking.
void UFMain::announceFinish(const engine::Finish& finish) {
    Picture1[static_cast<std::size_t>(m_game.missingTile())]->setVisible(true);
    QPointer<UFMain> alive(this);
    platform::messageBox(this, {QStringLiteral("完成です！"), QStringLiteral("完成通知"),
                                platform::MessageIcon::Information, platform::MessageButtons::Ok});
    if (!alive.isNull()) {
        handOverToRanking(finish);
    }
}

void UFMain::Timer1_Timer() {
    if (const std::optional<std::string> shown = m_game.tick(m_clock->steady())) {
        Label1->setText(clockCaption(*shown));
    }
}
