// A run of small steps (an animation's frames) driven by an alarm of the window's clock: the steps are the
// event loop's calls, so every other event is served between them, and no handler ever waits inside itself.
#pragma once

#include "services.h"

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

class TimedSteps {
public:
    // The clock must outlive the run.
    explicit TimedSteps(const Clock& clock);

    // Calls step(0) .. step(steps - 1) from the event loop, paced so that the whole run takes total, then
    // done() once total has passed. A run under way is replaced.
    void start(int steps, std::chrono::milliseconds total, std::function<void(int)> step,
               std::function<void()> done);
    bool running() const { return m_running; }
    // The steps left and done() are dropped.
    void stop();

private:
    void next();
    std::chrono::milliseconds dueAt(int step) const;
    std::chrono::milliseconds elapsed() const { return m_clock.steady() - m_started; }

    const Clock& m_clock;
    std::unique_ptr<Alarm> m_alarm;
    std::chrono::milliseconds m_started{0};
    int m_steps = 0;
    int m_done = 0;
    std::chrono::milliseconds m_total{0};
    std::function<void(int)> m_step;
    std::function<void()> m_finished;
    bool m_running = false;
};

} // namespace platform
