// The ranking lists' slide between sizes: how long it takes, how many positions it shows and the CPU it
// spends.
#include "bench.h"
#include "platform/services.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"

#include <QComboBox>
#include <QEvent>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <algorithm>
#include <string>

namespace {
class Silence : public platform::SoundPlayer {
public:
    void play(const QString&) override {}
};

int median(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Slides back and forth between the first size and size index far, one slide per run.
void slides(const std::string& label, int far, int runs) {
    QTemporaryDir folder;
    ranking::Module1 rankingFile(folder.path());
    Silence sound;
    const platform::SystemClock clock;
    ranking::UFRank window(rankingFile, sound, clock);
    window.show();
    auto* combo = window.findChild<QComboBox*>(QStringLiteral("Combo1"));
    bench::MoveCounter counter;
    window.findChild<QWidget*>(QStringLiteral("List2_0"))->installEventFilter(&counter);
    std::vector<int> moves;
    bool out = false;
    bench::measure(label, runs, [&] {
        out = !out;
        counter.moves = 0;
        {
            const QSignalBlocker quiet(combo);
            combo->setCurrentIndex(out ? far : 0);
        }
        window.Combo1_Click();
        bench::waitUntil([&window] { return !window.isSliding(); });
        moves.push_back(counter.moves);
    });
    bench::report(label + " steps", std::to_string(median(moves)) + " pixel positions shown");
}
} // namespace

ZORUPA_BENCH(rankslide) {
    slides("rank list slide to the neighbouring size", 1, 15);
    slides("rank list slide 3x3 -> 10x10", 7, 5);
}
