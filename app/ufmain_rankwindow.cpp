// The ranking table window and the clearing of the ranking, opened from the main window.
#include "platform/dialogs.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"
#include "ufmain.h"
#include "widgets.h"

void UFMain::Command4_Click() {
    // A modal window opened in the middle of a tile slide would freeze the tile half-way until it closed.
    runInTurn(engine::Command::Other, [this] {
        QPointer<UFMain> alive(this);
        auto* window = new ranking::UFRank(m_ranking, *m_sound, this);
        window->setAttribute(Qt::WA_DeleteOnClose); // deleted once exec has returned, whatever closed it
        window->exec();
        if (!alive.isNull() && !myClosed) {
            // Not every window manager hands the activation back to the window beneath a closed dialog.
            activateWindow();
            Text1->setFocus();
        }
    });
}

void UFMain::MR0_Click() {
    runInTurn(engine::Command::Other, [this] {
        const platform::MessageAnswer answer = platform::messageBox(
            this, {QStringLiteral("本当にクリアして良いですか？"), QStringLiteral("削除確認"),
                   platform::MessageIcon::Question, platform::MessageButtons::YesNo});
        if (answer != platform::MessageAnswer::Yes) {
            return;
        }
        const ranking::WriteResult written = m_ranking.myRankInit();
        if (!written.ok) {
            platform::messageBox(this, {written.error, ranking::writeFailureTitle(),
                                        platform::MessageIcon::Stop, platform::MessageButtons::Ok});
        }
    });
}
