// The name entry: the five places of one size with the new time inserted, one name box to type in, and OK,
// which stores the entry at the place it earns in the file as the file is at that moment.
#include "ufrankinput.h"

#include "platform/colours.h"
#include "platform/dialogs.h"
#include "platform/twips.h"
#include "platform/windows.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <limits>

using platform::twipsRect;

namespace {
constexpr int kClientWidth = 3315; // twips
constexpr int kClientHeight = 3390;
constexpr int kRowTop = 1080;
constexpr int kRowPitch = 360;
constexpr int kEnter = 13;
const QString kNotEntered = QStringLiteral("ランキングに登録出来ませんでした。");
const QString kOutrankedMeanwhile = QStringLiteral("\n名前の入力中に、より良い記録が登録されました。");

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect twips) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    return label;
}

void setBoxColour(QLineEdit* box, QColor colour) {
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, colour);
    box->setPalette(pal);
}
} // namespace

namespace ranking {

UFRankInput::UFRankInput(Entry entry, const Tables& shown, Module1& ranking, Today today,
                         std::shared_ptr<platform::Dialogs> dialogs)
    : QWidget(nullptr), m_entry(std::move(entry)), m_ranking(ranking), m_dialogs(std::move(dialogs)),
      m_today(std::move(today)) {
    Q_ASSERT((m_entry.place >= 1 && m_entry.place <= kPlaces) || m_entry.place == kNoPlace);
    if (m_entry.place < 1 || m_entry.place > kPlaces) {
        m_entry.place = kNoPlace;
    }
    setObjectName(QStringLiteral("UFRankInput"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ランキング入力"));
    platform::makeFixedDialog(this, kClientWidth, kClientHeight);
    createControls();
    showRows(shown);
    newNameBox()->setFocus();
}

void UFRankInput::createControls() {
    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("ランクインしました。"),
                       {120, 120, 2055, 255});
    Label6 = makeLabel(this, QStringLiteral("Label6"), QStringLiteral("名前を入力して下さい。"),
                       {120, 360, 1935, 255});
    LCombo1 = makeLabel(this, QStringLiteral("LCombo1"), ranking::sizeText(engine::kSmallestGrid),
                        {120, 720, 855, 255});
    const QColor buttonFace = palette().color(QPalette::Button);
    for (int i = 0; i < kPlaces; ++i) {
        const int top = kRowTop + kRowPitch * i;
        const auto k = static_cast<std::size_t>(i);
        Label2[k] =
            makeLabel(this, QStringLiteral("Label2_%1").arg(i), QString::number(i + 1), {120, top, 375, 255});
        Label4[k] = makeLabel(this, QStringLiteral("Label4_%1").arg(i), QString(), {600, top, 735, 255});
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1_%1").arg(i));
        box->setGeometry(twipsRect(1440, top, 1695, 270));
        box->setMaxLength(std::numeric_limits<int>::max()); // a name may be as long as the player likes
        box->setEnabled(false);
        setBoxColour(box, buttonFace);
        connect(box, &QLineEdit::returnPressed, this, [this, i] { Text1_KeyPress(i, kEnter); });
        Text1[k] = box;
    }
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(1920, 2880, 1215, 375));
    Command1->setAutoDefault(true); // Enter presses it once it has the focus
    connect(Command1, &QPushButton::clicked, this, &UFRankInput::Command1_Click);
}

void UFRankInput::showRows(const Tables& shown) {
    Tables rows = shown;
    ranking::insertEntry(rows, m_entry.size, shownPlace(), m_entry.time, QString());
    for (int i = 0; i < kPlaces; ++i) {
        const auto k = static_cast<std::size_t>(i);
        Label4[k]->setText(rows.RankTime[m_entry.size][i + 1]);
        Text1[k]->setText(rows.RankName[m_entry.size][i + 1]);
    }
    QLineEdit* box = newNameBox();
    box->setEnabled(true);
    setBoxColour(box, QColor(255, 255, 255));
    platform::keepTextReadableOn(box, QColor(255, 255, 255), {QPalette::Text});
    LCombo1->setText(ranking::sizeText(m_entry.size));
}

void UFRankInput::showOver(const QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QPoint centre = owner ? owner->frameGeometry().center() : screen->availableGeometry().center();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(centre);
    move(frame.topLeft());
    show();
    activateWindow();
}

void UFRankInput::Text1_KeyPress(int, int keyAscii) {
    if (keyAscii == kEnter) {
        Command1->setFocus();
    }
}

void UFRankInput::Command1_Click() {
    if (m_done) {
        return;
    }
    QLineEdit* box = newNameBox();
    if (box->text().isEmpty()) {
        box->setText(dateName(m_today()));
    }
    // The file may have changed since the dialog opened (a clearing, another finished game, another copy of
    // the game): the entry goes where its time ranks now, and every other entry the file holds is kept.
    using Outcome = EntryResult::Outcome;
    const EntryResult result = m_ranking.recordEntry(m_entry.size, m_entry.time, storableName(box->text()));
    switch (result.outcome) {
    case Outcome::Unreadable:
        report(QStringLiteral("ランキングを読み込み出来ませんでした。\n%1").arg(m_ranking.rankingPath()),
               QStringLiteral("読込不可通知"), platform::MessageIcon::Stop);
        return; // the dialog stays open, so OK can be tried again
    case Outcome::NotSaved:
        report(result.error, writeFailureTitle(), platform::MessageIcon::Stop);
        return;
    case Outcome::Outranked:
        m_done = true; // the entry is over: OK pressed again while the box is open does nothing
        // When the place was not known at the finish, nothing better came meanwhile: the time earned none.
        report(m_entry.place == kNoPlace ? kNotEntered : kNotEntered + kOutrankedMeanwhile,
               QStringLiteral("登録不可通知"), platform::MessageIcon::Information,
               [this](platform::MessageAnswer) { close(); });
        return;
    case Outcome::Stored:
        break;
    }
    m_done = true;
    close();
}

void UFRankInput::report(const QString& text, const QString& title, platform::MessageIcon icon,
                         platform::MessageThen then) {
    m_dialogs->messageBox(this, {text, title, icon, platform::MessageButtons::Ok}, std::move(then));
}

} // namespace ranking
