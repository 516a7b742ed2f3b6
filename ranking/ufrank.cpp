// The ranking table window: reads ranking.txt itself, fills the eight lists and slides them between sizes.
#include "ufrank.h"

#include "module1.h"
#include "platform/services.h"
#include "platform/timedsteps.h"
#include "platform/twips.h"
#include "platform/windows.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <optional>

namespace ranking {

namespace {
constexpr int kClientWidth = 3030;
constexpr int kClientHeight = 1995;
constexpr int kListLeft = 120;
constexpr int kListTop = 480;
constexpr int kListPitch = 2805; // list width 2775 plus a gap of 30
constexpr int kListWidth = 2775;
constexpr int kListHeight = 930;
// A slide to the neighbouring size takes this long; farther slides take proportionally longer.
constexpr int kMsPerPitch = 320;

int targetLeft(int list, int selected) {
    return (list - selected) * kListPitch + kListLeft;
}

// Draws a list line with tab stops every eight digits, so place, time and name stand in columns
// (the toolkit's own tab stops are 80 pixels, wider than the list).
class TabbedLines : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
        layout.setWrapMode(QTextOption::NoWrap);
        layout.setTabStopDistance(tabStop(opt.fontMetrics));
        const bool selected = opt.state.testFlag(QStyle::State_Selected);
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QRectF(opt.rect.adjusted(2, 0, -2, 0)), text, layout);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // A line as high as the font's em, as the list boxes the layout was drawn for had: five fit in view.
        return {opt.fontMetrics.horizontalAdvance(opt.text), QFontInfo(opt.font).pixelSize()};
    }

private:
    static qreal tabStop(const QFontMetrics& metrics) {
        return 8.0 * metrics.horizontalAdvance(QLatin1Char('0'));
    }
};

} // namespace

UFRank::UFRank(Module1& ranking, platform::SoundPlayer& sound, const platform::Clock& clock, QWidget* parent)
    : QDialog(parent), m_ranking(ranking), m_sound(sound),
      m_steps(std::make_unique<platform::TimedSteps>(clock)) {
    setObjectName(QStringLiteral("UFRank"));
    setWindowTitle(QStringLiteral("ランキング表"));
    platform::makeFixedDialog(this, kClientWidth, kClientHeight);
    createControls();
    Form_Load();
}

UFRank::~UFRank() = default;

void UFRank::createControls() {
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    // Only a choice from the list (or an arrow button) changes the size in view, so nothing can be typed.
    Combo1->setEditable(false);
    const QRect combo = platform::twipsRect(120, 120, 1035, 300);
    Combo1->setGeometry(combo.x(), combo.y(), combo.width(), Combo1->sizeHint().height());

    auto makeButton = [this](const char* name, const QString& caption, QRect twips) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        button->setGeometry(platform::twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
        return button;
    };
    Command2 = makeButton("Command2", QStringLiteral("←"), {120, 1560, 375, 315});
    Command3 = makeButton("Command3", QStringLiteral("→"), {600, 1560, 375, 315});
    Command1 = makeButton("Command1", QStringLiteral("閉じる"), {2040, 1500, 855, 375});

    const QFont listFont(QStringLiteral("ＭＳ 明朝"), 9);
    for (int i = 0; i < kListCount; ++i) {
        auto* list = new QListWidget(this);
        list->setObjectName(QStringLiteral("List2_%1").arg(i));
        list->setFont(listFont);
        QPalette pal = list->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
        list->setPalette(pal);
        list->setItemDelegate(new TabbedLines(list));
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setGeometry(platform::twipsRect(0, kListTop, kListWidth, kListHeight));
        List2[static_cast<std::size_t>(i)] = list;
        setLeft(i, targetLeft(i, 0));
    }

    connect(Command1, &QPushButton::clicked, this, &UFRank::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &UFRank::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &UFRank::Command3_Click);
}

void UFRank::Form_Load() {
    const std::optional<QByteArray> bytes = m_ranking.loadRankingBytes();
    if (!bytes) {
        return; // the window opens with empty lists and an empty selector
    }
    const RankListLines lines = rankListLines(*bytes);
    for (int i = 0; i < kListCount; ++i) {
        List2[static_cast<std::size_t>(i)]->addItems(lines[static_cast<std::size_t>(i)]);
    }
    for (const int size : engine::kGridSizes) {
        Combo1->addItem(sizeText(size));
    }
    Combo1->setCurrentIndex(0);
    // Queued, so that a slide never runs inside the selector's own signal: closing the window during the
    // slide would otherwise delete the selector while its own code is still on the stack.
    connect(Combo1, &QComboBox::currentIndexChanged, this, &UFRank::Combo1_Click, Qt::QueuedConnection);
    // Selecting the first size raises the slide at once: it covers no distance, but the sound plays.
    Combo1_Click();
}

void UFRank::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    platform::centreOnScreenOnce(this);
}

void UFRank::setLeft(int i, int twips) {
    m_left[static_cast<std::size_t>(i)] = twips;
    QListWidget* list = List2[static_cast<std::size_t>(i)];
    const int x = platform::twipsToPixelsRounded(twips);
    if (list->x() != x) {
        list->move(x, list->y());
    }
}

void UFRank::Combo1_Click() {
    if (Combo1->currentIndex() < 0) {
        return;
    }
    // A new choice during a slide turns the lists toward it from where they stand.
    m_sound.play(platform::moveSoundPath());
    slideTo(Combo1->currentIndex());
}

// One twip per step from where the lists stand now, one step at each pass of the event loop.
void UFRank::slideTo(int k) {
    const std::array<int, kListCount> start = m_left;
    const int d = targetLeft(0, k) - start[0];
    if (d == 0) {
        m_steps->stop();
        Sliding = false;
        return; // nothing to move and nothing new to show
    }
    const int step = d > 0 ? 1 : -1;
    const int distance = std::abs(d);
    Sliding = true;
    m_steps->start(
        distance + 1, std::chrono::milliseconds(qint64(distance) * kMsPerPitch / kListPitch),
        [this, start, step](int s) {
            for (int j = 0; j < kListCount; ++j) {
                setLeft(j, start[static_cast<std::size_t>(j)] + s * step);
            }
        },
        [this] { Sliding = false; });
}

void UFRank::Command1_Click() {
    if (Sliding) {
        return;
    }
    accept();
}

void UFRank::Command2_Click() {
    if (Sliding) {
        return;
    }
    const int index = Combo1->currentIndex();
    if (index > 0) {
        Combo1->setCurrentIndex(index - 1);
    }
}

void UFRank::Command3_Click() {
    if (Sliding) {
        return;
    }
    const int index = Combo1->currentIndex();
    if (index >= 0 && index < Combo1->count() - 1) {
        Combo1->setCurrentIndex(index + 1);
    }
}

void UFRank::done(int result) {
    // The close box, Esc and Alt+F4 end up here too, even during a slide, which stops where it stands; a
    // choice still on its way to the selector's handler starts none.
    disconnect(Combo1, &QComboBox::currentIndexChanged, this, &UFRank::Combo1_Click);
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    m_steps->stop();
    Sliding = false;
    QDialog::done(result);
}

} // namespace ranking
