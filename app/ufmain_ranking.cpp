// The ranking side of the main window: placing a finished game and opening the name entry.
#include "ranking/module1.h"
#include "ranking/ufrankinput.h"
#include "ufmain.h"

// myJunni (順位, the place a time earns): the place the finished game earns for its size, in the ranking as
// the file holds it now. The size is that of the game played, which the size list no longer shows if the
// player changed it meanwhile.
ranking::Placement UFMain::myJunni(const engine::Finish& finish) {
    const std::optional<QString> time =
        finish.time ? std::optional(QString::fromStdString(*finish.time)) : std::nullopt;
    return m_ranking.placementFor(finish.size, time);
}

void UFMain::handOverToRanking(const engine::Finish& finish) {
    const ranking::Placement placement = myJunni(finish);
    if (placement.outcome == ranking::Placement::Outcome::NoPlace) {
        return;
    }
    // A ranking that cannot be read now is read again at OK, which places the entry then or says why not.
    const bool placed = placement.outcome == ranking::Placement::Outcome::Placed;
    ranking::UFRankInput::Entry entry{finish.size,
                                      QString::fromStdString(finish.time.value_or(std::string())),
                                      placed ? placement.place : ranking::kNoPlace};
    // The dialog asks for the date only at OK, when this window may already be gone: it shares the clock.
    auto today = [clock = m_clock] { return clock->today(); };
    // Owned by itself: it has no parent so that it outlives this window, and deletes itself when closed.
    auto* dialog =
        new ranking::UFRankInput(std::move(entry), placement.shown, m_ranking, std::move(today), m_dialogs);
    dialog->showOver(this);
}
