// A run of small steps (an animation's frames) driven by the main event loop: the steps are a timer's
// calls, so every other event is served between them, and no handler ever waits inside itself.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace platform {

class TimedSteps : public QObject {
public:
    explicit TimedSteps(QObject* parent);

    // Calls step(0) .. step(steps - 1) from the event loop, paced so that the whole run takes total, then
    // done() once total has passed. A run under way is replaced.
    void start(int steps, std::chrono::milliseconds total, std::function<void(int)> step,
               std::function<void()> done);
    bool running() const { return m_running; }
    // The steps left are skipped and done() runs now.
    void finishNow();
    // The steps left and done() are dropped.
    void stop();

private:
    void next();
    qint64 dueAt(int step) const;

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_steps = 0;
    int m_done = 0;
    std::chrono::milliseconds m_total{0};
    std::function<void(int)> m_step;
    std::function<void()> m_finished;
    bool m_running = false;
};

} // namespace platform
