#include "timedsteps.h"

namespace platform {

TimedSteps::TimedSteps(const Clock& clock) : m_clock(clock), m_alarm(clock.makeAlarm()) {}

void TimedSteps::start(int steps, std::chrono::milliseconds total, std::function<void(int)> step,
                       std::function<void()> done) {
    m_steps = std::max(0, steps);
    m_done = 0;
    m_total = total;
    m_step = std::move(step);
    m_finished = std::move(done);
    m_running = true;
    m_started = m_clock.steady();
    m_alarm->wakeAt(m_started, [this] { next(); });
}

// Step k is due once k / steps of the run's time has passed, and done() once all of it has. Each pass runs
// every step that is due by then, at least one, so that a loop that comes round late (a slow paint, a busy
// machine) delays no step past its moment; on time, that is one step a pass.
std::chrono::milliseconds TimedSteps::dueAt(int step) const {
    return m_steps == 0 ? std::chrono::milliseconds(0) : m_total * step / m_steps;
}

void TimedSteps::next() {
    if (m_done == m_steps) {
        auto finished = std::move(m_finished);
        stop();
        if (finished) {
            finished();
        }
        return;
    }
    const auto step = m_step; // a step may stop the run, which lets go of m_step
    do {
        step(m_done++);
    } while (m_running && m_done < m_steps && dueAt(m_done) <= elapsed());
    if (m_running) { // a step itself may have ended the run
        m_alarm->wakeAt(m_started + (m_done == m_steps ? m_total : dueAt(m_done)), [this] { next(); });
    }
}

void TimedSteps::stop() {
    m_alarm->cancel();
    m_running = false;
    m_finished = {};
    m_step = {};
    m_steps = m_done;
}

} // namespace platform
