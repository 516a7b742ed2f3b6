// UFRank: the ranking table window. Eight lists, one per grid size, stand side by side and slide sideways
// so that one size at a time is in view.
#pragma once

#include "engine/sizes.h"

#include <QDialog>
#include <array>
#include <memory>

class QComboBox;
class QListWidget;
class QPushButton;

namespace platform {
class Clock;
class SoundPlayer;
class TimedSteps;
} // namespace platform

namespace ranking {

class Module1;

inline constexpr int kListCount = engine::kGridSizeCount; // one list per size

class UFRank : public QDialog {
    Q_OBJECT
public:
    // The ranking, the move sound and the clock that paces the slides are the application's; all must outlive
    // this window.
    UFRank(Module1& ranking, platform::SoundPlayer& sound, const platform::Clock& clock,
           QWidget* parent = nullptr);
    ~UFRank() override;

    // Event handlers, named after their control and event.
    void Combo1_Click();   // slide to the selected size
    void Command1_Click(); // 閉じる
    void Command2_Click(); // ←
    void Command3_Click(); // →

    bool isSliding() const { return Sliding; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void Form_Load();
    void slideTo(int k);
    void setLeft(int i, int twips);

    Module1& m_ranking;
    platform::SoundPlayer& m_sound;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command1 = nullptr;
    std::array<QListWidget*, kListCount> List2{};
    std::array<int, kListCount> m_left{}; // each list's left in twips; the widgets show it rounded to pixels

    std::unique_ptr<platform::TimedSteps> m_steps;
    bool Sliding = false;
};

} // namespace ranking
