// UFMain: the game's main window. It owns the game state and the controls, routes every command to its
// handler and animates; the rules themselves live in the engine.
#pragma once

#include "engine/game.h"
#include "loadahead.h"
#include "platform/picture.h"
#include "platform/services.h"

#include <QFuture>
#include <QMainWindow>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMimeData;
class QPushButton;
class QTimer;

namespace platform {
class Dialogs;
class PictureBox;
class TimedSteps;
} // namespace platform
namespace ranking {
class Module1;
struct Placement;
} // namespace ranking

class FormSurface;
class KeySink;

// What the main window takes from outside; anything left empty gets the real service.
struct UFMainServices {
    std::unique_ptr<platform::UniformSource> random;
    // Paces everything timed in the window: slides, list slides, the busy pointer.
    std::unique_ptr<platform::Clock> clock;
    std::unique_ptr<platform::SoundPlayer> sound;
    // Every question to the player, the name entry's included.
    std::shared_ptr<platform::Dialogs> dialogs;
    PictureLoader loadPicture;
    // Get the decoding of a picture ready while the player is still choosing one in the file dialog, and let
    // it go when the choice ends without one, or has loaded without it.
    std::function<void()> prepareLoad;
    std::function<void()> endPreparedLoad;
    // How long a player's slide takes; tests shorten it to play whole games quickly.
    std::chrono::milliseconds slideDuration{160};
};

class UFMain : public QMainWindow {
    Q_OBJECT
public:
    using Services = UFMainServices;

    // The ranking is the application's: it outlives this window and the ranking windows it opens.
    explicit UFMain(ranking::Module1& ranking, Services services = {});
    ~UFMain() override;

    // What the window is doing; it decides what the player's input and the commands do.
    enum class Phase {
        Idle,    // waiting for the player: input counts, commands run at once
        Sliding, // a tile slides: input is dropped, commands wait
        Loading, // a picture decodes: input is dropped, commands wait
        Dialog,  // a dialog of this window is open: commands wait until it has closed
        Closed,  // the window has closed: nothing runs any more
    };

    // Read-only views for tests and the benchmark program.
    const engine::Board& board() const { return m_game.board(); }
    bool isPlaying() const { return m_game.playing(); }
    Phase phase() const { return m_phase; }
    const platform::Picture& currentPicture() const { return Picture0; }
    platform::PictureBox* tile(int index) const { return Picture1[static_cast<std::size_t>(index)]; }
    // Replaces the held picture without painting, as if the window had been built with it.
    void setCurrentPicture(platform::Picture picture) { Picture0 = std::move(picture); }

    // Event handlers, named after their control and event.
    void Form_Load();
    void Form_Click(); // a click on the window's background
    void Form_OLEDragDrop(const QMimeData* data);
    void Picture2_OLEDragDrop(const QMimeData* data);
    void Command1_Click(); // choose a picture
    void Command2_Click(); // start
    void Command3_Click(); // quit
    void Command4_Click(); // ranking table
    void Combo1_Click();
    void M32_Click(int k); // M321..M328: k = 1..8
    void Mstart_Click();
    void M12_Click();
    void M02_Click();
    void MR0_Click(); // clear the ranking
    void MR1_Click();
    void Mhv_Click(); // version dialog
    void Picture1_Click(int index);
    void Text1_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    void Timer1_Timer();

    // The window's own routines.
    void myShokika();
    // Slides the tile of a move the board has already taken from where it stands into the empty cell, then
    // runs then().
    void myMove(const engine::Move& move, int mySTP, std::function<void()> then);
    void myPic();
    ranking::Placement myJunni(const engine::Finish& finish);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectEvents();
    void setTabOrder();
    void addSizeEntries(int first, int last); // Combo1's entries first..last, "3×3" for entry 0
    void paintTileFaces();
    void placeTiles();
    // The one path of a click and a key: the game's answer, the slide, and the finish it reports. True when
    // the input was taken now.
    bool playerInput(const engine::Input& input);
    // An input has had its effect: the finish it brought is announced, or the window is idle again.
    void finishInput(const std::optional<engine::Finish>& finish);
    void announceFinish(const engine::Finish& finish);
    void loadDroppedPicture(const std::optional<QString>& path);
    // Decodes a picture into the holder and then runs then(), or reports that it cannot be shown and runs
    // then() once the message is answered; the window is idle again after then().
    void takePicture(const QString& path, std::function<void()> then);
    void showUnreadablePicture(std::function<void()> then);
    void handOverToRanking(const engine::Finish& finish);
    void clearRanking();

    // The commands (Start, choosing a picture, a drop, the ranking window, clearing) run one after another,
    // in the order given: each waits until the window is idle, so behind a slide, a load or an open dialog.
    void runInTurn(std::function<void()> command);
    void becomeIdle();
    // What follows a dialog's answer, dropped when the window has closed meanwhile.
    template <typename Then> auto afterDialog(Then then) {
        return [this, then](auto&&... answer) {
            if (m_phase != Phase::Closed) {
                then(std::forward<decltype(answer)>(answer)...);
            }
        };
    }
    void shutDown();
    std::vector<platform::PictureBox*> tileSpan(int count) const;
    // Label1's caption for a clock text "mm:ss".
    static QString clockCaption(const std::string& shown);

    ranking::Module1& m_ranking;
    std::unique_ptr<platform::UniformSource> m_random;
    // Shared with the name entry, which asks for the date when its OK is pressed, maybe after this window.
    std::shared_ptr<platform::Clock> m_clock;
    std::unique_ptr<platform::SoundPlayer> m_sound;
    std::shared_ptr<platform::Dialogs> m_dialogs;
    PictureLoader m_loadPicture;
    std::function<void()> m_prepareLoad;
    std::function<void()> m_endPreparedLoad;

    // The game: its board (myGridN, myTileSize, myBoard, myBlankX, myBlankY), whether it is playing
    // (myPlaying), its start time and clock.
    engine::Game m_game;
    // The window's own state: what it is doing (myBusy is Phase::Sliding) and the commands waiting for it.
    Phase m_phase = Phase::Idle;
    std::deque<std::function<void()>> m_pending;
    std::chrono::milliseconds m_slideDuration;
    std::unique_ptr<platform::TimedSteps> m_slide;
    std::unique_ptr<platform::Alarm> m_busyPointer;
    QFutureWatcher<platform::Picture>* m_loading = nullptr;
    LoadAhead* m_loadAhead =
        nullptr; // the picture of a drag over the window, or of a file gone to in the dialog

    // Controls, in creation order.
    FormSurface* m_surface = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command3 = nullptr;
    QTimer* Timer1 = nullptr;
    KeySink* Text1 = nullptr;
    std::array<platform::PictureBox*, engine::kTileCount> Picture1{};
    QGroupBox* Frame1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command1 = nullptr;
    platform::PictureBox* Picture2 = nullptr;
    platform::Picture Picture0; // the image holder: the current picture, never shown itself
    QLabel* Label1 = nullptr;

    // Menu commands.
    QAction* M12 = nullptr;
    QAction* MR1 = nullptr;
    QAction* MR0 = nullptr;
    QAction* M02 = nullptr;
    std::array<QAction*, engine::kGridSizeCount> M32x{}; // M321..M328
    QAction* Mstart = nullptr;
    QAction* Mhv = nullptr;
};
