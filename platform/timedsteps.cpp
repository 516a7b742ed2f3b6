#include "timedsteps.h"

namespace platform {

TimedSteps::TimedSteps(QObject* parent) : QObject(parent) {
    // A coarse timer may fire up to 5 % late, which over a 160 ms run shows as a slower slide.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TimedSteps::next);
}

void TimedSteps::start(int steps, std::chrono::milliseconds total, std::function<void(int)> step,
                       std::function<void()> done) {
    m_steps = std::max(0, steps);
    m_done = 0;
    m_total = total;
    m_step = std::move(step);
    m_finished = std::move(done);
    m_running = true;
    m_clock.start();
    m_timer.start(0);
}

// Step k is due once k / steps of the run's time has passed, and done() once all of it has. Each pass runs
// every step that is due by then, at least one, so that a loop that comes round late (a slow paint, a busy
// machine) delays no step past its moment; on time, that is one step a pass.
qint64 TimedSteps::dueAt(int step) const {
    return m_steps == 0 ? 0 : m_total.count() * step / m_steps;
}

void TimedSteps::next() {
    if (m_done == m_steps) {
        finishNow();
        return;
    }
    do {
        m_step(m_done++);
    } while (m_running && m_done < m_steps && dueAt(m_done) <= m_clock.elapsed());
    if (m_running) { // a step itself may have ended the run
        m_timer.start(std::chrono::milliseconds(std::max<qint64>(0, dueAt(m_done) - m_clock.elapsed())));
    }
}

void TimedSteps::finishNow() {
    auto finished = std::move(m_finished);
    stop();
    if (finished) {
        finished();
    }
}

void TimedSteps::stop() {
    m_timer.stop();
    m_running = false;
    m_finished = {};
    m_step = {};
    m_steps = m_done;
}

} // namespace platform
