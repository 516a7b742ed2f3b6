// The game on a real desktop: under a dark colour scheme and a platform theme with its own font (qt6ct
// with its "darker" scheme and a large DejaVu font), and with keys as X11 and Wayland deliver them.
#include "application.h"
#include "mainwindow_fixture.h"
#include "platform/colours.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"
#include "ranking/ufrankinput.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

using testing::Fixture;

namespace {
const QColor kLightBlue(192, 192, 255);
const QColor kLightGreen(192, 255, 192);
const QColor kDarkerWindow(0x22, 0x20, 0x20); // the "darker" scheme's window and button colours
const QColor kDarkerButton(0x42, 0x42, 0x45);

// The strongest contrast any pixel of the area has against the fill: the caption's strokes, if it has any
// that read.
double strongestContrast(const QImage& image, const QRect& area, QColor fill) {
    double best = 1.0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            best = std::max(best, platform::contrastRatio(image.pixelColor(x, y), fill));
        }
    }
    return best;
}

QRect inWindow(const QWidget* widget, const QRect& local, const QWidget* window) {
    return QRect(widget->mapTo(window, local.topLeft()), local.size());
}

// The width a check box or push button gives its caption.
int captionRoom(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (qobject_cast<const QCheckBox*>(button)) {
        return button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button).width();
    }
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
}
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
    QTemporaryDir m_rankingFolder;
    ranking::Module1 m_ranking{m_rankingFolder.path()};

private slots:
    void initTestCase() {
        QVERIFY2(QApplication::palette().color(QPalette::Window) == kDarkerWindow,
                 "qt6ct's platform theme did not load (scripts/dev installs qt6ct)");
        QVERIFY(m_rankingFolder.isValid());
        // The theme puts its own font on the application once the event loop runs.
        QTest::qWait(100);
    }

    void interfaceFontOutlivesTheTheme() {
        QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("IPAGothic"));
        QCOMPARE(QApplication::font().pointSize(), 9);
        for (const char* kind : {"QMenu", "QMenuBar", "QLabel", "QPushButton", "QMessageBox"}) {
            QCOMPARE(QFontInfo(QApplication::font(kind)).family(), QStringLiteral("IPAGothic"));
        }
    }

    // Every caption of the windows fits the room its designed twips leave it.
    void captionsFitTheirBoxes() {
        Fixture f;
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        testing::RecordingSound sound;
        const testing::ManualClock clock;
        ranking::UFRank rank(m_ranking, sound, clock);
        ranking::UFRankInput entry({10, QStringLiteral("59:59"), 1}, ranking::Tables{}, m_ranking,
                                   [] { return QDate(2004, 7, 15); });
        QList<const QWidget*> captioned;
        for (const QWidget* window : std::initializer_list<const QWidget*>{&f.w(), &rank, &entry}) {
            for (const QWidget* w : window->findChildren<QWidget*>()) {
                if (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
                    qobject_cast<const QGroupBox*>(w)) {
                    captioned << w;
                }
            }
        }
        QVERIFY(captioned.size() >= 25);
        for (const QWidget* w : std::as_const(captioned)) {
            QString text;
            int room = w->width();
            if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
                text = button->text();
                room = captionRoom(button);
            } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
                text = label->text();
            } else if (const auto* frame = qobject_cast<const QGroupBox*>(w)) {
                text = frame->title();
            }
            // The strokes, not the advance: a closing "。" leaves the right half of its cell blank.
            const int ink = w->fontMetrics().tightBoundingRect(text).right() + 1;
            QVERIFY2(ink <= room,
                     qPrintable(QStringLiteral("%1: %2 > %3").arg(w->objectName()).arg(ink).arg(room)));
        }
    }

    // Captions on the design's fixed light colours keep at least 4.5 : 1, in their palettes and on screen.
    void captionsOnFixedColoursRead() {
        Fixture f;
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto* check = f.child<QCheckBox>("Check1");
        const auto* frame = f.child<QGroupBox>("Frame1");
        const auto* clock = f.child<QLabel>("Label1");
        const auto* sizeBox = f.child<QWidget>("Combo1");
        const struct {
            const QWidget* widget;
            QColor fill;
            QRect caption; // where the caption's strokes are, in the widget
        } captions[] = {
            {check, kLightBlue, check->rect().adjusted(check->height(), 0, 0, 0)},
            {frame, kLightBlue, QRect(0, 0, frame->width(), sizeBox->y())},
            {clock, kLightGreen, clock->rect()},
        };
        const QImage shot = w.grab().toImage();
        for (const auto& c : captions) {
            const QColor text = c.widget->palette().color(c.widget->foregroundRole());
            QVERIFY2(platform::contrastRatio(text, c.fill) >= platform::kMinTextContrast,
                     qPrintable(c.widget->objectName() + QLatin1Char(' ') + text.name()));
            const double onScreen = strongestContrast(shot, inWindow(c.widget, c.caption, &w), c.fill);
            QVERIFY2(onScreen >= platform::kMinTextContrast,
                     qPrintable(QStringLiteral("%1: %2").arg(c.widget->objectName()).arg(onScreen)));
        }
    }

    void nameBoxTextReads() {
        auto* dialog = new ranking::UFRankInput({4, QStringLiteral("01:23"), 1}, ranking::Tables{}, m_ranking,
                                                [] { return QDate(2004, 7, 15); });
        dialog->showOver(nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("Text1_0"));
        QVERIFY(box);
        QTest::keyClicks(box, QStringLiteral("MMMM"));
        const QColor white(255, 255, 255);
        QCOMPARE(box->palette().color(QPalette::Base), white);
        QVERIFY(platform::contrastRatio(box->palette().color(QPalette::Text), white) >=
                platform::kMinTextContrast);
        const QImage shot = dialog->grab().toImage();
        // Inside the frame, where only the typed name stands.
        const QRect inner = inWindow(box, box->rect().adjusted(4, 4, -4, -4), dialog);
        QVERIFY(strongestContrast(shot, inner, white) >= platform::kMinTextContrast);
        // The boxes that take no name keep the scheme's button face.
        auto* other = dialog->findChild<QLineEdit*>(QStringLiteral("Text1_1"));
        QCOMPARE(other->palette().color(QPalette::Base), kDarkerButton);
        delete dialog;
    }

    // Only text on the fixed colours is pinned: the tiles' background and the ranking lists follow the
    // scheme.
    void schemeColoursStillFollowed() {
        Fixture f;
        f.selectSize(3);
        QVERIFY(f.showAndStart());
        // The built-in picture is portrait: the top-right piece reaches past its right edge, where the
        // tile shows its own background.
        const QImage face = f.w().tile(2)->backing();
        QCOMPARE(face.pixelColor(face.width() - 2, face.height() / 2),
                 QApplication::palette().color(QPalette::Base));
        testing::RecordingSound sound;
        const testing::ManualClock clock;
        ranking::UFRank rank(m_ranking, sound, clock);
        for (const QListWidget* list : rank.findChildren<QListWidget*>()) {
            QCOMPARE(list->palette().color(QPalette::Base), kDarkerButton);
            QVERIFY(platform::contrastRatio(list->palette().color(QPalette::Text), kDarkerButton) >=
                    platform::kMinTextContrast);
        }
    }

    // Shift+2 as X11 delivers it with a US layout: the key "@", the scan code of the "2" key (evdev 3 + 8).
    void shiftWithATopRowDigitMoves() {
        Fixture f;
        f.selectSize(4);
        QVERIFY(f.showAndStart());
        QTRY_VERIFY(f.w().isPlaying());
        if (f.w().board().myBlankY == 0) {
            f.press(Qt::Key_Up); // the tile below comes up, the gap goes down
        }
        const engine::Board before = f.w().board();
        QVERIFY(before.myBlankY > 0);
        QKeyEvent shift2(QEvent::KeyPress, Qt::Key_At, Qt::ShiftModifier, 11, 0x40, 1, QStringLiteral("@"));
        QApplication::sendEvent(f.text1(), &shift2);
        QVERIFY(f.settle());
        const engine::Board after = f.w().board();
        QCOMPARE(int(after.myBlankY), before.myBlankY - 1);
        QCOMPARE(after.myBoard[before.myBlankX][before.myBlankY],
                 before.myBoard[before.myBlankX][before.myBlankY - 1]);
        QCOMPARE(testing::boardInconsistency(f.w()), QString());
    }
};

int main(int argc, char* argv[]) {
    // A desktop whose platform theme has a dark scheme and a font of its own, before the application exists.
    QTemporaryDir config;
    if (!config.isValid() || !QDir().mkpath(config.filePath(QStringLiteral("qt6ct")))) {
        qFatal("no configuration folder");
    }
    QFile conf(config.filePath(QStringLiteral("qt6ct/qt6ct.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
        qFatal("cannot write qt6ct.conf");
    }
    conf.write("[Appearance]\n"
               "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\n"
               "custom_palette=true\n"
               "style=Fusion\n"
               "[Fonts]\n"
               "general=\"DejaVu Sans,12,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n"
               "fixed=\"DejaVu Sans Mono,12,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n");
    conf.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("QT_QPA_PLATFORMTHEME", "qt6ct");
    QApplication app(argc, argv);
    setupApplication(app);
    TestDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop.moc"
