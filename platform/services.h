// Time, randomness and sound: the small services the game takes from outside, each behind an interface
// so that tests can drive them by hand.
#pragma once

#include <QDate>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>

namespace platform {

// Uniform values in [0, 1).
class UniformSource {
public:
    virtual ~UniformSource() = default;
    virtual double next() = 0;
};

// The game's generator: seeded once from the clock when it is made.
class ClockSeededSource : public UniformSource {
public:
    ClockSeededSource();
    explicit ClockSeededSource(std::uint64_t seed);
    double next() override;

private:
    std::mt19937_64 m_engine;
    std::uniform_real_distribution<double> m_uniform{0.0, 1.0};
};

// Wakes a function once its clock has reached a moment. Everything timed in a window (a slide's frames, the
// busy pointer) waits on one of these, so that whoever owns the clock owns the time: the event loop's precise
// timer for the system clock, the test's own hand for a clock it moves.
class Alarm {
public:
    virtual ~Alarm() = default;
    // Replaces the wake-up set before; wake runs from the event loop, never inside this call.
    virtual void wakeAt(std::chrono::milliseconds due, std::function<void()> wake) = 0;
    virtual void cancel() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // A steady count of milliseconds: elapsed times are differences of it, unbroken by midnight or clock
    // changes.
    virtual std::chrono::milliseconds steady() const = 0;
    virtual QDate today() const = 0;
    // An alarm on this clock, owned by the caller; it must not outlive the clock.
    virtual std::unique_ptr<Alarm> makeAlarm() const = 0;
};

class SystemClock : public Clock {
public:
    std::chrono::milliseconds steady() const override;
    QDate today() const override;
    std::unique_ptr<Alarm> makeAlarm() const override;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts the wave file and returns at once; silent when the file or a sound server is missing.
    virtual void play(const QString& path) = 0;
};

// libcanberra, so the whole short sound plays through PulseAudio or PipeWire.
std::unique_ptr<SoundPlayer> makeSystemSound();

// The folder the running program lives in, where it keeps its sound and ranking.
QString programFolder();
// The move sound beside the program: tile slides and the ranking lists play it.
QString moveSoundPath();

} // namespace platform
