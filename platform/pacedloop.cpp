// Waiting for each step's moment happens in place, by processing events until a precise timer has fired:
// raw processEvents() without a wait would spin a core and starve the clock timer, and a nested
// QEventLoop::exec() would discard a quit already posted (the last window closed during the step), leaving
// the program running with no window.
#include "pacedloop.h"

#include <QCoreApplication>
#include <QTimer>

namespace platform {

PacedLoop::PacedLoop(QObject* guard, int steps, std::chrono::milliseconds total)
    : m_guard(guard), m_steps(std::max(1, steps)), m_total(total) {
    m_clock.start();
}

bool PacedLoop::yield() {
    ++m_done;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_guard.isNull()) {
        return false;
    }
    if (m_total.count() == 0) {
        return true;
    }
    const qint64 due = m_total.count() * std::min(m_done, m_steps) / m_steps;
    const qint64 wait = due - m_clock.elapsed();
    if (wait >= 1) {
        bool reached = false;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&reached] { reached = true; });
        timer.start(std::chrono::milliseconds(wait));
        while (!reached && !m_guard.isNull()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }
    return !m_guard.isNull();
}

} // namespace platform
