// The ranking table window and the clearing of the ranking, opened from the main window.
#include "platform/dialogs.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"
#include "ufmain.h"
#include "widgets.h"

void UFMain::Command4_Click() {
    // A modal window opened in the middle of a tile slide would hide the tile's last frames until it closed.
    runInTurn([this] {
        m_phase = Phase::Dialog;
        auto* window = new ranking::UFRank(m_ranking, *m_sound, *m_clock, this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowModality(Qt::ApplicationModal);
        connect(window, &QDialog::finished, this, afterDialog([this](int) {
                    platform::takeBackActivation(this);
                    Text1->setFocus();
                    becomeIdle();
                }));
        window->show();
    });
}

void UFMain::MR0_Click() {
    runInTurn([this] {
        m_phase = Phase::Dialog;
        m_dialogs->messageBox(this,
                              {QStringLiteral("本当にクリアして良いですか？"), QStringLiteral("削除確認"),
                               platform::MessageIcon::Question, platform::MessageButtons::YesNo},
                              afterDialog([this](platform::MessageAnswer answer) {
                                  if (answer == platform::MessageAnswer::Yes) {
                                      clearRanking();
                                  } else {
                                      becomeIdle();
                                  }
                              }));
    });
}

// A clearing that could not be written is told, and the window waits for that message too.
void UFMain::clearRanking() {
    const ranking::WriteResult written = m_ranking.myRankInit();
    if (written.ok) {
        becomeIdle();
        return;
    }
    m_dialogs->messageBox(this,
                          {written.error, ranking::writeFailureTitle(), platform::MessageIcon::Stop,
                           platform::MessageButtons::Ok},
                          afterDialog([this](platform::MessageAnswer) { becomeIdle(); }));
}
