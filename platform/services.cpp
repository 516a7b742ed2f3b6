// The clock-seeded random source, the steady clock and the program folder.
#include "services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace platform {

ClockSeededSource::ClockSeededSource()
    : ClockSeededSource(
          static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())) {}

ClockSeededSource::ClockSeededSource(std::uint64_t seed) : m_engine(seed) {}

double ClockSeededSource::next() {
    return m_uniform(m_engine);
}

std::chrono::milliseconds SystemClock::steady() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

QDate SystemClock::today() const {
    return QDate::currentDate();
}

namespace {
class EventLoopAlarm : public Alarm {
public:
    explicit EventLoopAlarm(const SystemClock& clock) : m_clock(clock) {
        // A coarse timer may fire up to 5 % late, which over a 160 ms slide shows as a slower slide.
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto wake = std::move(m_wake); // the wake-up may set the next one
            m_wake = {};
            if (wake) {
                wake();
            }
        });
    }
    void wakeAt(std::chrono::milliseconds due, std::function<void()> wake) override {
        m_wake = std::move(wake);
        m_timer.start(std::max(std::chrono::milliseconds(0), due - m_clock.steady()));
    }
    void cancel() override {
        m_timer.stop();
        m_wake = {};
    }

private:
    const SystemClock& m_clock;
    QTimer m_timer;
    std::function<void()> m_wake;
};
} // namespace

std::unique_ptr<Alarm> SystemClock::makeAlarm() const {
    return std::make_unique<EventLoopAlarm>(*this);
}

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString moveSoundPath() {
    return programFolder() + QStringLiteral("/move.wav");
}

} // namespace platform
