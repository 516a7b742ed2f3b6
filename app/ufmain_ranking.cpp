// The ranking side of the main window: placing a finished time and opening the name entry.
#include "ranking/module1.h"
#include "ranking/ufrankinput.h"
#include "ufmain.h"

// myJunni (順位, the place a time earns): the place the game just solved earns for its size, or 6 for none.
// The size is that of the game played, which the size list no longer shows if the player changed it
// meanwhile.
int UFMain::myJunni() {
    using namespace ranking;
    Module1::myRankLoad();
    const std::optional<std::string> time = m_game.rankedTime();
    const int place =
        time ? placeFor(Module1::tables, m_game.gridSize(), QString::fromStdString(*time)) : kNoPlace;
    if (place != kNoPlace) {
        Module1::RankNo = static_cast<std::int16_t>(place);
    }
    return place;
}

void UFMain::handOverToRanking() {
    if (myJunni() == ranking::kNoPlace) {
        return;
    }
    const int n = m_game.gridSize();
    UFRankInput::Entry entry{n, QString::fromStdString(m_game.rankedTime().value_or(std::string())),
                             ranking::Module1::RankNo};
    // The dialog asks for the date only at OK, when this window may already be gone.
    QPointer<UFMain> owner(this);
    auto today = [owner] { return owner ? owner->m_clock->today() : QDate::currentDate(); };
    // Owned by itself: it has no parent so that it outlives this window, and deletes itself when closed.
    auto* dialog = new UFRankInput(std::move(entry), ranking::Module1::tables, std::move(today));
    dialog->showOver(this);
}
