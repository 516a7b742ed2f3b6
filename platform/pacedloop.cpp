// A nested event loop ended by a precise timer waits for each step's moment; raw processEvents() would
// spin a core and starve the clock timer.
#include "pacedloop.h"

#include <QCoreApplication>
#include <QEventLoop>
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
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(wait), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return !m_guard.isNull();
}

} // namespace platform
