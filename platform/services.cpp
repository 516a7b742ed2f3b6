// The clock-seeded random source, the steady clock and the program folder.
#include "services.h"

#include <QCoreApplication>
#include <QDateTime>

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

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString moveSoundPath() {
    return programFolder() + QStringLiteral("/move.wav");
}

} // namespace platform
