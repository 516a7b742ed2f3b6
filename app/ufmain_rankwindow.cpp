// The ranking table window and the clearing of the ranking, opened from the main window.
#include "platform/dialogs.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"
#include "ufmain.h"
#include "widgets.h"

void UFMain::Command4_Click() {
    // A modal window opened in the middle of a tile slide would hide the tile's last frames until it closed.
    runInTurn([this] {
        auto* window = new ranking::UFRank(m_ranking, *m_sound, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowModality(Qt::ApplicationModal);
        connect(window, &QDialog::finished, this, [this, owner = platform::DialogOwner(this)] {
            owner.takeBackActivation();
            if (owner.stillThere()) {
                Text1->setFocus();
            }
        });
        window->show();
    });
}

void UFMain::MR0_Click() {
    runInTurn([this] {
        platform::messageBox(this,
                             {QStringLiteral("本当にクリアして良いですか？"), QStringLiteral("削除確認"),
                              platform::MessageIcon::Question, platform::MessageButtons::YesNo},
                             [this](platform::MessageAnswer answer) {
                                 if (answer == platform::MessageAnswer::Yes) {
                                     clearRanking();
                                 }
                             });
    });
}

void UFMain::clearRanking() {
    const ranking::WriteResult written = m_ranking.myRankInit();
    if (!written.ok) {
        platform::messageBox(this, {written.error, ranking::writeFailureTitle(), platform::MessageIcon::Stop,
                                    platform::MessageButtons::Ok});
    }
}
