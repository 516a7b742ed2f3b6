// The benchmark program's small harness: each case registers itself and reports medians over runs.
#pragma once

#include <QEvent>
#include <QObject>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Figures {
    double minMs = 0, medianMs = 0, maxMs = 0;
    double cpuMedianMs = 0; // process CPU time over the same runs
};

using Case = std::function<void()>;
void add(const std::string& name, Case run);
// A mode the program runs in when started as "zorupa-bench --child NAME": for figures about a fresh process.
void addChild(const std::string& name, std::function<int()> run);
// Monotonic nanoseconds, the same clock in every process of the machine.
long long monotonicNs();

// Times fn over runs (after one warm-up run), prints a line and returns the figures.
Figures measure(const std::string& label, int runs, const std::function<void()>& fn);
void report(const std::string& label, const std::string& text);
double cpuMs(); // CPU time of this process so far
// Serves the event loop until done() holds: what an animation started goes on from the loop's timers.
void waitUntil(const std::function<bool()>& done);

// Counts the moves of a widget it watches: each move on screen is a frame the player can see.
class MoveCounter : public QObject {
public:
    int moves = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Move) {
            ++moves;
        }
        return false;
    }
};

} // namespace bench

#define ZORUPA_BENCH(name)                                                                                   \
    static void name();                                                                                      \
    static const bool name##_registered = (bench::add(#name, name), true);                                   \
    static void name()
