// The one animation loop of the game: a run of small steps that yields to the event loop after each,
// paced so that the whole run takes the same time on any machine, and that waits without spending CPU.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <chrono>

namespace platform {

class PacedLoop {
public:
    // total 0 means unpaced: every step only yields.
    PacedLoop(QObject* guard, int steps, std::chrono::milliseconds total);

    // Call after each step. Lets pending events run (repaints, clock ticks, input) and waits until the
    // step's moment is due. False when the guard object died meanwhile: the caller must stop touching it.
    bool yield();
    int stepsDone() const { return m_done; }

private:
    QPointer<QObject> m_guard;
    QElapsedTimer m_clock;
    int m_steps;
    std::chrono::milliseconds m_total;
    int m_done = 0;
};

} // namespace platform
