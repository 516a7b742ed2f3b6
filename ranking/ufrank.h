// UFRank: the ranking table window. Eight lists, one per grid size, stand side by side and slide sideways
// so that one size at a time is in view.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QStringList>
#include <array>

class QComboBox;
class QListWidget;
class QPushButton;

namespace platform {
class SoundPlayer;
}

namespace ranking {

inline constexpr int kListCount = 8; // sizes 3..10

// The eight lists' lines from the bytes of ranking.txt: five lines per size, each the file's entry line with
// every "," turned into a tab. Lines the file does not have show as empty slots (their place number).
using RankListLines = std::array<QStringList, kListCount>;
RankListLines rankListLines(const QByteArray& bytes);

class UFRank : public QDialog {
    Q_OBJECT
public:
    // The move sound is the main window's; it must outlive this window.
    explicit UFRank(platform::SoundPlayer& sound, QWidget* parent = nullptr);

    // Event handlers, named after their control and event.
    void Combo1_Click();   // slide to the selected size
    void Command1_Click(); // 閉じる
    void Command2_Click(); // ←
    void Command3_Click(); // →

    // Read-only views for tests and the benchmark program.
    int listLeftTwips(int i) const { return m_left[static_cast<std::size_t>(i)]; }
    bool isSliding() const { return Sliding; }
    int lastSlideSteps() const { return m_lastSteps; } // steps shown by the last slide run

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void Form_Load();
    bool slideTo(int k);
    void setLeft(int i, int twips);

    platform::SoundPlayer& m_sound;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command1 = nullptr;
    std::array<QListWidget*, kListCount> List2{};
    std::array<int, kListCount> m_left{}; // each list's left in twips; the widgets show it rounded to pixels

    bool Sliding = false;
    bool m_retarget = false; // a new size was chosen while a slide ran
    bool m_closing = false;  // the window is closing: a running slide stops
    int m_lastSteps = 0;
};

} // namespace ranking
