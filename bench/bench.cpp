// Runs every registered case, or those whose names contain the first argument.
#include "bench.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace bench {

namespace {
std::vector<std::pair<std::string, Case>>& cases() {
    static std::vector<std::pair<std::string, Case>> all;
    return all;
}
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
} // namespace

std::vector<std::pair<std::string, std::function<int()>>>& children() {
    static std::vector<std::pair<std::string, std::function<int()>>> all;
    return all;
}

void add(const std::string& name, Case run) {
    cases().emplace_back(name, std::move(run));
}
void addChild(const std::string& name, std::function<int()> run) {
    children().emplace_back(name, std::move(run));
}

long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

void waitUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Figures measure(const std::string& label, int runs, const std::function<void()>& fn) {
    fn();
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        const double c0 = cpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back(cpuMs() - c0);
    }
    Figures f{*std::min_element(wall.begin(), wall.end()), median(wall),
              *std::max_element(wall.begin(), wall.end()), median(cpu)};
    std::printf("%-48s median %9.3f ms  (min %9.3f, max %9.3f)  cpu %8.3f ms  [%d runs]\n", label.c_str(),
                f.medianMs, f.minMs, f.maxMs, f.cpuMedianMs, runs);
    std::fflush(stdout);
    return f;
}

void report(const std::string& label, const std::string& text) {
    std::printf("%-48s %s\n", label.c_str(), text.c_str());
    std::fflush(stdout);
}

} // namespace bench

int main(int argc, char* argv[]) {
    if (argc > 2 && std::string(argv[1]) == "--child") {
        for (auto& [name, run] : bench::children()) {
            if (name == argv[2]) {
                return run();
            }
        }
        return 2;
    }
    QApplication app(argc, argv);
    const std::string only = argc > 1 ? argv[1] : "";
    for (auto& [name, run] : bench::cases()) {
        if (only.empty() || name.find(only) != std::string::npos) {
            std::printf("== %s\n", name.c_str());
            run();
        }
    }
    return 0;
}
