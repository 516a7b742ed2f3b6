// The main window: its controls in their creation order, its menus, the event routing, start-up and closing.
#include "ufmain.h"

#include "engine/rules.h"
#include "pictures/decoderhelper.h"
#include "pictures/painting.h"
#include "pictures/selection.h"
#include "platform/colours.h"
#include "platform/dialogs.h"
#include "platform/picturebox.h"
#include "platform/timedsteps.h"
#include "platform/twips.h"
#include "platform/windows.h"
#include "widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFuture>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using platform::PictureBox;
using platform::twipsRect;

namespace {
const QColor kLightBlue(192, 192, 255);
const QColor kLightGreen(192, 255, 192);
const QColor kPeach(255, 224, 192);
const QColor kPink(255, 192, 255);

// The client area below the menu bar once start-up has set the outer height to 7305 twips: the caption,
// the menu bar and the frame take the rest, so controls at 6600 and below lie outside it.
constexpr int kClientWidth = 8430;
constexpr int kClientHeightBelowMenu = 6500;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect twips) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    return button;
}

PictureLoader defaultLoader() {
    return [](const QString& path, int neededLongSide) {
        return QtConcurrent::run(
            [path, neededLongSide] { return pictures::loadPicture(path, neededLongSide); });
    };
}

void fillBackground(QWidget* widget, QColor colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Button, colour);
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
    platform::keepTextReadableOn(widget, colour, {QPalette::WindowText, QPalette::ButtonText});
}
} // namespace

UFMain::UFMain(ranking::Module1& ranking, Services services)
    : m_ranking(ranking), m_random(services.random ? std::move(services.random)
                                                   : std::make_unique<platform::ClockSeededSource>()),
      m_clock(services.clock ? std::move(services.clock) : std::make_unique<platform::SystemClock>()),
      m_sound(services.sound ? std::move(services.sound) : platform::makeSystemSound()),
      m_dialogs(services.dialogs ? std::move(services.dialogs) : platform::systemDialogs()),
      m_loadPicture(services.loadPicture ? std::move(services.loadPicture) : defaultLoader()),
      m_prepareLoad(services.prepareLoad ? std::move(services.prepareLoad)
                                         : [] { pictures::prepareDecoder(); }),
      m_endPreparedLoad(services.endPreparedLoad ? std::move(services.endPreparedLoad)
                                                 : [] { pictures::endPreparedDecoder(); }),
      m_slideDuration(services.slideDuration), m_slide(std::make_unique<platform::TimedSteps>(*m_clock)),
      m_busyPointer(m_clock->makeAlarm()), m_loadAhead(new LoadAhead(m_loadPicture, this)) {
    // The built-in photo decodes on a second core while the controls are made: the first frame needs both.
    QFuture<platform::Picture> builtin =
        QtConcurrent::run([side = pictures::neededLongSide(devicePixelRatioF())] {
            return pictures::loadPicture(QStringLiteral(":/assets/builtin.jpg"), side);
        });
    setObjectName(QStringLiteral("UFMain"));
    setWindowTitle(QStringLiteral("Zorupa Nemi"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // Resizable with a minimise button and a close box, but no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    createControls();
    createMenus();
    connectEvents();
    setTabOrder();
    Picture0 = builtin.result(); // the image holder's content as the window was designed
    Form_Load();
}

UFMain::~UFMain() = default;

void UFMain::createControls() {
    m_surface = new FormSurface(this);
    m_surface->setObjectName(QStringLiteral("Form"));
    setCentralWidget(m_surface);
    QWidget* form = m_surface;

    Check1 = new QCheckBox(QStringLiteral("番号付ける"), form);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twipsRect(6720, 1800, 1215, 375));
    Check1->setChecked(true);
    fillBackground(Check1, kLightBlue);

    Command4 = makeButton(form, "Command4", QStringLiteral("ランキング"), {6720, 4560, 1215, 375});
    Command3 = makeButton(form, "Command3", QStringLiteral("終了"), {6720, 5640, 1215, 375});

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);

    Text1 = new KeySink(form);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(7320, 6600, 255, 270));

    for (int i = 0; i < engine::kTileCount; ++i) {
        auto* box = new PictureBox(form, PictureBox::Border::FlatSingle, palette().color(QPalette::Base));
        box->setObjectName(QStringLiteral("Picture1_%1").arg(i));
        box->setAccessibleName(QString::number(i + 1));
        box->setFocusPolicy(Qt::TabFocus);
        box->setGeometryTwips(0, 0, 1215, 1215);
        box->hide();
        Picture1[static_cast<std::size_t>(i)] = box;
    }

    Frame1 = new QGroupBox(QStringLiteral("分割数"), form);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(6720, 960, 1215, 735));
    fillBackground(Frame1, kLightBlue);

    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setGeometry(twipsRect(120, 240, 975, 300));
    Combo1->lineEdit()->setAcceptDrops(false); // the size box is no drop target, not even for text
    // Text typed into the size box selects no entry (Start then makes a 2 x 2 game): Qt's editable box would
    // complete it to an entry as it is typed, and select the entry that matches it on Return or when the
    // focus leaves. Choosing from the list, the menu or with the arrow keys still selects.
    Combo1->setCompleter(nullptr);
    QObject::disconnect(Combo1->lineEdit(), &QLineEdit::returnPressed, Combo1, nullptr);
    QObject::disconnect(Combo1->lineEdit(), &QLineEdit::editingFinished, Combo1, nullptr);

    Command2 = makeButton(form, "Command2", QStringLiteral("スタート"), {6720, 2760, 1215, 375});
    Command1 = makeButton(form, "Command1", QStringLiteral("画像指定"), {6720, 480, 1215, 375});

    Picture2 = new PictureBox(form, PictureBox::Border::Sunken3D, QColor(255, 255, 255));
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFocusPolicy(Qt::TabFocus);
    Picture2->setGeometryTwips(engine::kBoardOrigin, engine::kBoardOrigin, engine::kBoardSpan,
                               engine::kBoardSpan); // the board stands where the preview does

    m_surface->addPanel({{6480, 4320, 1695, 855}, kPeach});      // Shape5, behind Command4
    m_surface->addPanel({{6480, 5400, 1695, 855}, kPink});       // Shape4, behind Command3
    m_surface->addPanel({{6480, 2520, 1695, 855}, kLightGreen}); // Shape2, behind Command2
    m_surface->addPanel({{6480, 240, 1695, 2055}, kLightBlue});  // Shape1, behind Command1, Frame1, Check1

    Label1 = new QLabel(clockCaption(engine::clockText(0)), form);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(6720, 3720, 1245, 165));
    platform::keepTextReadableOn(Label1, kLightGreen, {QPalette::WindowText}); // it stands on Shape3
    // With the IPA fonts the caption is a few pixels wider than its box; it may reach into the panel's margin
    // rather than lose the last digit of the time.
    Label1->resize(std::max(Label1->width(), Label1->fontMetrics().horizontalAdvance(Label1->text()) + 2),
                   Label1->height());
    m_surface->addPanel({{6480, 3480, 1695, 615}, kLightGreen}); // Shape3, behind Label1
    // The painted panels and the clock label are the window's background; the preview takes drops itself.
    m_surface->setDropTargets({Label1, Picture2});
}

QString UFMain::clockCaption(const std::string& shown) {
    return QStringLiteral("経過時間　") + QString::fromStdString(shown); // ends in an ideographic space
}

void UFMain::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* m01 = bar->addMenu(QStringLiteral("ファイル(&F)"));
    m01->setObjectName(QStringLiteral("M01"));
    M12 = m01->addAction(QStringLiteral("画像指定(&G)"));
    QMenu* mRank = m01->addMenu(QStringLiteral("ランキング(&R)"));
    mRank->setObjectName(QStringLiteral("mRank"));
    MR1 = mRank->addAction(QStringLiteral("表示(&R)"));
    MR0 = mRank->addAction(QStringLiteral("ランキングクリア(&C)"));
    m01->addSeparator()->setObjectName(QStringLiteral("m00"));
    M02 = m01->addAction(QStringLiteral("終了(&E)"));

    QMenu* m31 = bar->addMenu(QStringLiteral("ゲーム(&G)"));
    m31->setObjectName(QStringLiteral("M31"));
    QMenu* m32 = m31->addMenu(QStringLiteral("分割数(&D)"));
    m32->setObjectName(QStringLiteral("M32"));
    for (std::size_t i = 0; i < M32x.size(); ++i) {
        const int n = engine::kGridSizes[i];
        const QString size = QString::fromStdString(engine::sizeText(n));
        QAction* item =
            m32->addAction(QStringLiteral("%1(&%2)").arg(size).arg(QLatin1Char(engine::sizeAccessKey(n))));
        item->setCheckable(true);
        item->setObjectName(QStringLiteral("M32%1").arg(i + 1));
        M32x[i] = item;
    }
    M32x[std::size_t(engine::entryForGrid(engine::kDefaultGrid))]->setChecked(true); // M323, from the start
    Mstart = m31->addAction(QStringLiteral("スタート(&N)"));
    Mstart->setShortcut(Qt::Key_F2);

    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("Mhelp"));
    Mhv = help->addAction(QStringLiteral("バージョン情報(&A)"));
    Mhv->setShortcut(Qt::Key_F1);

    M12->setObjectName(QStringLiteral("M12"));
    MR1->setObjectName(QStringLiteral("MR1"));
    MR0->setObjectName(QStringLiteral("MR0"));
    M02->setObjectName(QStringLiteral("M02"));
    Mstart->setObjectName(QStringLiteral("Mstart"));
    Mhv->setObjectName(QStringLiteral("Mhv"));
}

// The routing table: every event of the window and the handler that carries it out.
void UFMain::connectEvents() {
    connect(Command1, &QPushButton::clicked, this, &UFMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &UFMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &UFMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &UFMain::Command4_Click);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &UFMain::Combo1_Click);
    connect(Timer1, &QTimer::timeout, this, &UFMain::Timer1_Timer);
    connect(Text1, &KeySink::keyDown, this, &UFMain::Text1_KeyDown);
    connect(m_surface, &FormSurface::clicked, this, &UFMain::Form_Click);
    connect(m_surface, &FormSurface::dropped, this, [this](const QWidget* target, const QMimeData* data) {
        target == Picture2 ? Picture2_OLEDragDrop(data) : Form_OLEDragDrop(data);
    });
    connect(m_surface, &FormSurface::dragEntered, this, [this](const QMimeData* data) {
        if (const std::optional<QString> path = pictures::firstDroppedFile(data);
            path && m_phase != Phase::Closed) {
            m_loadAhead->start(*path, pictures::neededLongSide(devicePixelRatioF()));
        }
    });
    connect(m_surface, &FormSurface::dragLeft, m_loadAhead, &LoadAhead::abandon);
    for (int i = 0; i < engine::kTileCount; ++i) {
        connect(Picture1[static_cast<std::size_t>(i)], &PictureBox::clicked, this,
                [this, i] { Picture1_Click(i); });
    }
    connect(M12, &QAction::triggered, this, &UFMain::M12_Click);
    connect(MR1, &QAction::triggered, this, &UFMain::MR1_Click);
    connect(MR0, &QAction::triggered, this, &UFMain::MR0_Click);
    connect(M02, &QAction::triggered, this, &UFMain::M02_Click);
    for (int k = 1; k <= engine::kGridSizeCount; ++k) {
        connect(M32x[static_cast<std::size_t>(k - 1)], &QAction::triggered, this,
                [this, k] { M32_Click(k); });
    }
    connect(Mstart, &QAction::triggered, this, &UFMain::Mstart_Click);
    connect(Mhv, &QAction::triggered, this, &UFMain::Mhv_Click);
    // Typing into the size box leaves no entry selected, so Start then makes a 2 x 2 game.
    connect(Combo1->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        if (Combo1->currentIndex() != -1 && text != Combo1->itemText(Combo1->currentIndex())) {
            const int cursor = Combo1->lineEdit()->cursorPosition();
            Combo1->setCurrentIndex(-1);
            Combo1->setEditText(text);
            Combo1->lineEdit()->setCursorPosition(cursor);
        }
    });
}

void UFMain::setTabOrder() {
    std::vector<QWidget*> order{Command1};
    for (int i = 0; i < 25; ++i) {
        order.push_back(Picture1[static_cast<std::size_t>(i)]);
    }
    order.insert(order.end(), {Command2, Frame1, Combo1});
    for (int i = 25; i < engine::kTileCount; ++i) {
        order.push_back(Picture1[static_cast<std::size_t>(i)]);
    }
    order.insert(order.end(), {Text1, Label1, Command3, Picture2, Command4, Check1});
    // The frame and the label take no focus here; linking them would cut the chain.
    std::erase_if(order, [](QWidget* w) { return w->focusPolicy() == Qt::NoFocus; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void UFMain::Form_Load() {
    resize(platform::twipsToPixelsRounded(kClientWidth),
           menuBar()->sizeHint().height() + platform::twipsToPixelsRounded(kClientHeightBelowMenu));
    // The random source was seeded from the clock when it was made.
    const int defaultEntry = engine::entryForGrid(engine::kDefaultGrid);
    addSizeEntries(0, defaultEntry);
    Combo1->setCurrentIndex(defaultEntry);
    Text1->move(Text1->x(), platform::twipsToPixelsRounded(-500));
    m_game.stop();
    myPic();
    // Drops are taken by the client area, which accepts them on its background and on the preview.
    addSizeEntries(defaultEntry + 1, engine::kGridSizeCount - 1);
    Timer1->start();
    Command1->setFocus();
}

void UFMain::addSizeEntries(int first, int last) {
    for (int entry = first; entry <= last; ++entry) {
        Combo1->addItem(QString::fromStdString(engine::sizeText(engine::kGridSizes[std::size_t(entry)])));
    }
}

void UFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    platform::centreOnScreenOnce(this);
}

void UFMain::Form_Click() {
    Text1->setFocus();
}

void UFMain::Combo1_Click() {
    const int l = Combo1->currentIndex();
    if (l == -1) {
        return;
    }
    for (std::size_t i = 0; i < M32x.size(); ++i) {
        M32x[i]->setChecked(int(i) == l);
    }
}

void UFMain::M32_Click(int k) {
    if (Combo1->currentIndex() == k - 1) {
        Combo1_Click(); // the same entry raises no change of its own; the check mark must still come back
    } else {
        Combo1->setCurrentIndex(k - 1);
    }
}

void UFMain::Mstart_Click() {
    Command2_Click();
}
void UFMain::M12_Click() {
    Command1_Click();
}
void UFMain::MR1_Click() {
    Command4_Click();
}
void UFMain::Command3_Click() {
    close();
}
void UFMain::M02_Click() {
    close();
}

void UFMain::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

// Closing ends everything under way here, at once: the slide (the board has its move already), the picture
// load (its result is dropped), the commands still waiting, the clock. Nothing runs after it but an open
// dialog's answer, which the window then drops.
void UFMain::shutDown() {
    m_phase = Phase::Closed;
    m_pending.clear();
    if (m_slide->running()) {
        m_slide->stop();
        placeTiles(); // the board has the move already: the tile stands where it leads
    }
    m_busyPointer->cancel();
    if (m_loading) {
        m_loading->disconnect(this);
        m_loading->deleteLater(); // the decode ends on its worker, unread
        m_loading = nullptr;
    }
    unsetCursor();
    m_loadAhead->abandon();
    m_endPreparedLoad();
    m_game.stop();
    Timer1->stop();
}
