// Playing: Start and the shuffle, the tile slide, clicks and keys, the finish and the clock. The game decides
// (engine::Game); this file hands it the player's input, animates the moves it answers and shows the finish
// it reports.
#include "pictures/painting.h"
#include "platform/dialogs.h"
#include "platform/keys.h"
#include "platform/picturebox.h"
#include "platform/timedsteps.h"
#include "ufmain.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

// A command joins the queue behind those already waiting, and the queue runs while the window is idle: a
// command that opens a dialog or starts a load leaves the window busy, and the ones behind it wait for that.
void UFMain::runInTurn(std::function<void()> command) {
    m_pending.push_back(std::move(command));
    if (m_phase == Phase::Idle && m_pending.size() == 1) {
        becomeIdle();
    }
}

void UFMain::becomeIdle() {
    m_phase = Phase::Idle;
    while (m_phase == Phase::Idle && !m_pending.empty()) {
        auto command = std::move(m_pending.front());
        m_pending.pop_front();
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
    runInTurn([this] {
        if (Picture0.isEmpty()) {
            pictures::numberBoxes(tileSpan(engine::kTileCount));
        }
        m_game.start(
            engine::gridForEntry(Combo1->currentIndex()), [this] { return m_random->next(); },
            m_clock->steady());
        myShokika();
        paintTileFaces();
        placeTiles();
        Picture2->setVisible(false);
        Text1->setFocus();
    });
}

// Every tile box where the board has its tile now: the shuffled board is laid out at once.
void UFMain::placeTiles() {
    const engine::Board& board = m_game.board();
    const int n = board.myGridN;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            if (x != board.myBlankX || y != board.myBlankY) {
                const engine::TilePlace place = engine::cellPlace({x, y}, board.myTileSize);
                platform::PictureBox* box = Picture1[static_cast<std::size_t>(board.myBoard[x][y])];
                box->setLeftTwips(place.left);
                box->setTopTwips(place.top);
            }
        }
    }
}

// The tile of a move slides from where it stands into the empty cell, frame by frame from the event loop,
// and stands there exactly; the sound follows, then whatever the move brought.
void UFMain::myMove(const engine::Move& move, int mySTP, std::function<void()> then) {
    platform::PictureBox* box = Picture1[static_cast<std::size_t>(move.tile)];
    const bool vertical = engine::ruleOf(move.direction)->vertical;
    const engine::Slide slide = engine::slideOf(move.direction, vertical ? box->topTwips() : box->leftTwips(),
                                                m_game.board().myTileSize, mySTP);
    auto place = [box, vertical](int value) {
        vertical ? box->setTopTwips(value) : box->setLeftTwips(value);
    };
    m_phase = Phase::Sliding;
    m_slide->start(
        static_cast<int>(slide.frames.size()), m_slideDuration,
        [place, frames = slide.frames](int i) { place(frames[static_cast<std::size_t>(i)]); },
        [this, place, end = slide.end, then = std::move(then)] {
            place(end);
            m_sound->play(platform::moveSoundPath());
            then();
        });
}

// Clicks and keys count only while the window is idle: one that comes during a slide, a load or a dialog is
// dropped, not queued.
bool UFMain::playerInput(const engine::Input& input) {
    if (m_phase != Phase::Idle) {
        return false;
    }
    const engine::Answer answer = m_game.input(input, m_clock->steady());
    switch (answer.kind) {
    case engine::Answer::Kind::NotNow:
        return false;
    case engine::Answer::Kind::Move:
        myMove(answer.move, m_game.playerStep(), [this, finish = answer.finish] { finishInput(finish); });
        break;
    case engine::Answer::Kind::NoEffect:
        finishInput(answer.finish);
        break;
    }
    return true;
}

void UFMain::finishInput(const std::optional<engine::Finish>& finish) {
    if (finish) {
        announceFinish(*finish);
    } else {
        becomeIdle();
    }
}

void UFMain::Picture1_Click(int index) {
    if (playerInput(engine::Input::click(index))) {
        Text1->setFocus();
    }
}

void UFMain::Text1_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    playerInput(engine::Input::key(keyCode)); // Shift is not looked at
}

// The game has reported its finish: the missing piece is shown, the completion announced, and the time
// offered to the ranking.
void UFMain::announceFinish(const engine::Finish& finish) {
    Picture1[static_cast<std::size_t>(m_game.missingTile())]->setVisible(true);
    m_phase = Phase::Dialog;
    m_dialogs->messageBox(this,
                          {QStringLiteral("完成です！"), QStringLiteral("完成通知"),
                           platform::MessageIcon::Information, platform::MessageButtons::Ok},
                          afterDialog([this, finish](platform::MessageAnswer) {
                              handOverToRanking(finish);
                              becomeIdle();
                          }));
}

void UFMain::Timer1_Timer() {
    if (const std::optional<std::string> shown = m_game.tick(m_clock->steady())) {
        Label1->setText(clockCaption(*shown));
    }
}
