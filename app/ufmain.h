// UFMain: the game's main window. It owns the game state and the controls, routes every command to its
// handler and animates; the rules themselves live in the engine.
#pragma once

#include "engine/board.h"
#include "platform/picture.h"
#include "platform/services.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <chrono>
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
class PictureBox;
}

class FormSurface;
class KeySink;

// What the main window takes from outside; anything left empty gets the real service.
struct UFMainServices {
    std::unique_ptr<platform::UniformSource> random;
    std::unique_ptr<platform::Clock> clock;
    std::unique_ptr<platform::SoundPlayer> sound;
    // How long a player's slide takes; tests shorten it to play whole games quickly.
    std::chrono::milliseconds slideDuration{160};
};

class UFMain : public QMainWindow {
    Q_OBJECT
public:
    using Services = UFMainServices;

    UFMain();
    explicit UFMain(Services services);
    ~UFMain() override;

    // Read-only views for tests and the benchmark program.
    const engine::Board& board() const { return m_board; }
    bool isPlaying() const { return myPlaying; }
    bool isBusy() const { return myBusy || myShuffling; }
    const platform::Picture& currentPicture() const { return Picture0; }
    int lastSlideFrames() const { return m_lastSlideFrames; } // frames the last slide showed
    platform::PictureBox* tile(int index) const { return Picture1[static_cast<std::size_t>(index)]; }
    // Replaces the held picture without painting, as if the window had been built with it.
    void setCurrentPicture(platform::Picture picture) { Picture0 = std::move(picture); }

    // Event handlers, named after their control and event.
    void Form_Load();
    void Form_Click();
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
    bool myMove(int myD, int mySTP, bool mySound);
    void myPic();
    void myCheck();
    int myJunni();

    // Whether a drop at this point of the client area lands on the window's background or on the preview.
    bool acceptsDropAt(const QPoint& pos) const;
    void routeDrop(const QPoint& pos, const QMimeData* data);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectEvents();
    void setTabOrder();
    void paintTileFaces();
    void layOutNewGame();
    bool shuffle(); // false when the window closed meanwhile
    void loadDroppedPicture(const std::optional<QString>& path);
    // Loads a picture into the holder, or reports that it cannot be shown; false when the window went
    // meanwhile.
    bool takePicture(const std::optional<QString>& path);
    void showUnreadablePicture();
    void handOverToRanking();
    // Commands that would rewrite the board run only between moves; during one they wait for its end.
    void runWhenIdle(std::function<void()> command);
    void runPending();
    std::vector<platform::PictureBox*> tileSpan(int count) const;

    std::unique_ptr<platform::UniformSource> m_random;
    std::unique_ptr<platform::Clock> m_clock;
    std::unique_ptr<platform::SoundPlayer> m_sound;

    // Game state.
    engine::Board m_board;
    std::chrono::milliseconds myStartTime{0}; // steady-clock moment the running game began
    bool myPlaying = false;
    bool myBusy = false;      // a player's move is being carried out
    bool myShuffling = false; // Start is shuffling
    bool myClosed = false;    // the window was closed while a loop was running
    int mySlideSteps = 0;
    std::chrono::milliseconds m_slideDuration;
    int m_lastSlideFrames = 0;
    std::int64_t m_finishedSeconds = 0; // the true elapsed time of the game just solved
    std::vector<std::function<void()>> m_pending;

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
    std::array<QAction*, 8> M32x{}; // M321..M328
    QAction* Mstart = nullptr;
    QAction* Mhv = nullptr;

    friend class FormSurface;
};
