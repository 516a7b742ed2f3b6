// The main window as it opens: controls, colours, menus and check marks, focus, start-up state, the preview,
// the tile faces that Start paints, and the window commands.
#include "mainwindow_fixture.h"
#include "pictures/painting.h"
#include "platform/twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

using testing::Fixture;

namespace {
QRect px(int l, int t, int w, int h) {
    return platform::twipsRect(l, t, w, h);
}
QAction* action(UFMain& w, const char* name) {
    return w.findChild<QAction*>(QString::fromLatin1(name));
}
QColor pixel(const QImage& img, double x, double y) {
    return img.pixelColor(int(x * img.devicePixelRatio()), int(y * img.devicePixelRatio()));
}
// The mean colour of a square around a point: photographs are too detailed to compare single pixels.
QColor meanColour(const QImage& img, double x, double y, double radius) {
    const double dpr = img.devicePixelRatio();
    long r = 0, g = 0, b = 0, count = 0;
    for (int py = int((y - radius) * dpr); py <= int((y + radius) * dpr); ++py) {
        for (int px = int((x - radius) * dpr); px <= int((x + radius) * dpr); ++px) {
            if (px < 0 || py < 0 || px >= img.width() || py >= img.height()) {
                continue;
            }
            const QColor c = img.pixelColor(px, py);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++count;
        }
    }
    return count ? QColor(int(r / count), int(g / count), int(b / count)) : QColor();
}
int colourDistance(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void controlsStandWhereTheyAreDrawn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Check1") << "Check1" << px(6720, 1800, 1215, 375) << "番号付ける";
        QTest::newRow("Command4") << "Command4" << px(6720, 4560, 1215, 375) << "ランキング";
        QTest::newRow("Command3") << "Command3" << px(6720, 5640, 1215, 375) << "終了";
        QTest::newRow("Frame1") << "Frame1" << px(6720, 960, 1215, 735) << "分割数";
        QTest::newRow("Combo1 in Frame1") << "Combo1" << px(120, 240, 975, 300) << "5×5";
        QTest::newRow("Command2") << "Command2" << px(6720, 2760, 1215, 375) << "スタート";
        QTest::newRow("Command1") << "Command1" << px(6720, 480, 1215, 375) << "画像指定";
        QTest::newRow("Picture2") << "Picture2" << px(240, 240, 6015, 6015) << "";
        QTest::newRow("Text1 moved above") << "Text1" << px(7320, -500, 255, 270) << "";
    }
    void controlsStandWhereTheyAreDrawn() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        Fixture f;
        auto* widget = f.w().findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
            text = b->text();
        } else if (auto* g = qobject_cast<QGroupBox*>(widget)) {
            text = g->title();
        } else if (auto* l = qobject_cast<QLabel*>(widget)) {
            text = l->text();
        } else if (auto* c = qobject_cast<QComboBox*>(widget)) {
            text = c->currentText();
        }
        QCOMPARE(text, caption);
    }

    void clockLabelShowsTheWholeTime() {
        Fixture f;
        auto* label = f.child<QLabel>("Label1");
        const QRect designed = px(6720, 3720, 1245, 165);
        QCOMPARE(label->pos(), designed.topLeft());
        QCOMPARE(label->height(), designed.height());
        QCOMPARE(label->text(), QStringLiteral("経過時間　00:00"));
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        // Still inside its panel, Shape3 (6480..8175 twips).
        QVERIFY(label->geometry().right() < platform::twipsToPixelsRounded(8175));
    }

    void windowFrameAndClientArea() {
        Fixture f;
        UFMain& w = f.w();
        QCOMPARE(w.windowTitle(), QStringLiteral("Zorupa Nemi"));
        QVERIFY(!w.windowIcon().isNull());
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.centralWidget()->width(), 562);
        // About 6500 twips below the menu bar: the keyboard sink and the image holder's place lie outside it.
        QCOMPARE(w.centralWidget()->height(), platform::twipsToPixelsRounded(6500));
        QVERIFY(f.text1()->geometry().bottom() < 0);
        QVERIFY(platform::twipsToPixelsRounded(6600) > w.centralWidget()->height());
        QCOMPARE(w.frameGeometry().center(), w.screen()->availableGeometry().center());
    }

    void panelsAndColours() {
        Fixture f;
        const QColor blue(192, 192, 255);
        QCOMPARE(f.child<QCheckBox>("Check1")->palette().color(QPalette::Window), blue);
        QCOMPARE(f.child<QGroupBox>("Frame1")->palette().color(QPalette::Window), blue);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage shot = w.centralWidget()->grab().toImage();
        // Each panel shows its colour where no control covers it.
        QCOMPARE(pixel(shot, 6560 / 15.0, 4747 / 15.0), QColor(255, 224, 192)); // Shape5
        QCOMPARE(pixel(shot, 6560 / 15.0, 5827 / 15.0), QColor(255, 192, 255)); // Shape4
        QCOMPARE(pixel(shot, 6560 / 15.0, 2947 / 15.0), QColor(192, 255, 192)); // Shape2
        QCOMPARE(pixel(shot, 6560 / 15.0, 1200 / 15.0), blue);                  // Shape1
        QCOMPARE(pixel(shot, 6560 / 15.0, 3787 / 15.0), QColor(192, 255, 192)); // Shape3
        // Between the panels the window's own colour.
        QCOMPARE(pixel(shot, 6560 / 15.0, 4220 / 15.0), w.palette().color(QPalette::Window));
    }

    void menusWithAccessKeysAndShortcuts() {
        Fixture f;
        UFMain& w = f.w();
        QStringList titles;
        for (QAction* a : w.menuBar()->actions()) {
            titles << a->text();
        }
        QCOMPARE(titles, QStringList({"ファイル(&F)", "ゲーム(&G)", "ヘルプ(&H)"}));
        QCOMPARE(action(w, "M12")->text(), QStringLiteral("画像指定(&G)"));
        QCOMPARE(action(w, "MR1")->text(), QStringLiteral("表示(&R)"));
        QCOMPARE(action(w, "MR0")->text(), QStringLiteral("ランキングクリア(&C)"));
        QCOMPARE(action(w, "M02")->text(), QStringLiteral("終了(&E)"));
        QCOMPARE(action(w, "Mstart")->text(), QStringLiteral("スタート(&N)"));
        QCOMPARE(action(w, "Mstart")->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(action(w, "Mhv")->text(), QStringLiteral("バージョン情報(&A)"));
        QCOMPARE(action(w, "Mhv")->shortcut(), QKeySequence(Qt::Key_F1));
        const QStringList sizes{"3×3(&3)", "4×4(&4)", "5×5(&5)", "6×6(&6)",
                                "7×7(&7)", "8×8(&8)", "9×9(&9)", "10×10(&0)"};
        for (int k = 1; k <= 8; ++k) {
            QAction* item = action(w, qPrintable(QStringLiteral("M32%1").arg(k)));
            QVERIFY(item);
            QCOMPARE(item->text(), sizes[k - 1]);
            QVERIFY(item->isEnabled() && item->isVisible());
        }
        auto* fileMenu = w.findChild<QMenu*>(QStringLiteral("M01"));
        QVERIFY(fileMenu->actions().at(2)->isSeparator());
        auto* rankMenu = w.findChild<QMenu*>(QStringLiteral("mRank"));
        QCOMPARE(rankMenu->title(), QStringLiteral("ランキング(&R)"));
        QCOMPARE(w.findChild<QMenu*>(QStringLiteral("M32"))->title(), QStringLiteral("分割数(&D)"));
    }

    void startUpState() {
        Fixture f;
        UFMain& w = f.w();
        auto* combo = f.child<QComboBox>("Combo1");
        QCOMPARE(combo->count(), 8);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) {
            items << combo->itemText(i);
        }
        QCOMPARE(items, QStringList({"3×3", "4×4", "5×5", "6×6", "7×7", "8×8", "9×9", "10×10"}));
        QCOMPARE(combo->currentIndex(), 2);
        for (int k = 1; k <= 8; ++k) {
            QCOMPARE(action(w, qPrintable(QStringLiteral("M32%1").arg(k)))->isChecked(), k == 3);
        }
        QVERIFY(f.child<QCheckBox>("Check1")->isChecked());
        QVERIFY(!w.isPlaying());
        QCOMPARE(f.clock1(), QStringLiteral("経過時間　00:00"));
        for (int i = 0; i < 100; ++i) {
            QVERIFY(!w.tile(i)->isVisibleTo(&w));
        }
        QVERIFY(f.child<platform::PictureBox>("Picture2")->isVisibleTo(&w));
        // The built-in photo keeps its extent and is decoded at the size the preview shows it: half its
        // pixels at ratio 1, still one or more for each of the preview's.
        QCOMPARE(w.currentPicture().width(), 712 * 2540.0 / 96);
        QCOMPARE(w.currentPicture().height(), 1044 * 2540.0 / 96);
        QCOMPARE(w.currentPicture().image().size(), QSize(356, 522));
        QVERIFY(522 * 127 / 144 >= 401 * w.devicePixelRatio());
        QCOMPARE(w.board().myGridN, 0);
    }

    void sizeBoxAndMenuFollowEachOther() {
        Fixture f;
        UFMain& w = f.w();
        auto* combo = f.child<QComboBox>("Combo1");
        action(w, "M328")->trigger();
        QCOMPARE(combo->currentIndex(), 7);
        for (int k = 1; k <= 8; ++k) {
            QCOMPARE(action(w, qPrintable(QStringLiteral("M32%1").arg(k)))->isChecked(), k == 8);
        }
        combo->setCurrentIndex(0);
        QVERIFY(action(w, "M321")->isChecked());
        QVERIFY(!action(w, "M328")->isChecked());
        // Choosing the item already checked keeps its mark instead of toggling it off.
        action(w, "M321")->trigger();
        QVERIFY(action(w, "M321")->isChecked());
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(w.board().myGridN, 0); // no game starts, no size is fixed
    }

    void typedTextLeavesNoEntryAndMenuAsItWas() {
        Fixture f;
        UFMain& w = f.w();
        auto* combo = f.child<QComboBox>("Combo1");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("abc"));
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QStringLiteral("abc"));
        QVERIFY(action(w, "M323")->isChecked());
        QCOMPARE(combo->count(), 8);
    }

    // Typed text selects no entry: not by completing it, not when the focus leaves the box for Start, not by
    // Return. Only a choice from the list, the menu or an arrow key in the box selects.
    void typedSizeSelectsNoEntryWhenTheFocusLeaves() {
        Fixture f;
        UFMain& w = f.w();
        auto* combo = f.child<QComboBox>("Combo1");
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("4"));
        QCOMPARE(combo->currentText(), QStringLiteral("4"));
        QTest::mouseClick(f.child<QPushButton>("Command2"), Qt::LeftButton);
        QVERIFY(w.isPlaying());
        QCOMPARE(int(w.board().myGridN), 2);
        QCOMPARE(int(w.board().myTileSize), 3008);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QStringLiteral("4"));
        QVERIFY(action(w, "M323")->isChecked());
        QVERIFY(!action(w, "M322")->isChecked());

        // The whole text of an entry, then Return, then the focus gone by Tab: still no entry.
        QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("6×6"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != combo->lineEdit());
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QStringLiteral("6×6"));
        QVERIFY(action(w, "M323")->isChecked());

        // An arrow key in the box chooses from the list, and the menu follows.
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        QVERIFY(combo->currentIndex() >= 0);
        QVERIFY(action(w, qPrintable(QStringLiteral("M32%1").arg(combo->currentIndex() + 1)))->isChecked());
    }

    void focusStartsOnChoosePictureAndFollowsTheTabOrder() {
        Fixture f;
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), f.child<QWidget>("Command1"));
        // With the tiles hidden, the order runs Command1, Command2, Combo1, Text1, Command3, Picture2,
        // Command4, Check1.
        const QStringList expected{"Command2", "Combo1",   "Text1",  "Command3",
                                   "Picture2", "Command4", "Check1", "Command1"};
        for (const QString& name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QWidget* owner = focus && focus->parentWidget() && qobject_cast<QComboBox*>(focus->parentWidget())
                                 ? focus->parentWidget()
                                 : focus;
            QCOMPARE(owner ? owner->objectName() : QString(), name);
        }
    }

    void backgroundClickGivesTheKeyboardToTheBoard() {
        Fixture f;
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        f.child<QComboBox>("Combo1")->setFocus();
        QTest::mouseClick(w.centralWidget(), Qt::LeftButton, {}, QPoint(6400 / 15, 6400 / 15));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.text1()));
    }

    void quitCommandsCloseTheWindow_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "Command3";
        QTest::newRow("menu") << "M02";
        QTest::newRow("close box") << "close";
    }
    void quitCommandsCloseTheWindow() {
        QFETCH(QString, how);
        Fixture f;
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (how == "Command3") {
            QTest::mouseClick(f.child<QPushButton>("Command3"), Qt::LeftButton);
        } else if (how == "M02") {
            action(w, "M02")->trigger();
        } else {
            w.close();
        }
        QVERIFY(!w.isVisible());
    }

    void previewShowsTheSquareFromTheTopLeft() {
        Fixture f;
        UFMain& w = f.w();
        const auto* preview = f.child<platform::PictureBox>("Picture2");
        const QImage& img = preview->backing();
        const QImage& photo = w.currentPicture().image();
        // 712 wide of a 920.75-pixel square: the picture ends 712/920.75 of the way across 401 pixels.
        const double edge = 401.0 * 712 / 920.75;
        QCOMPARE(pixel(img, edge + 5, 100), QColor(Qt::white));
        QCOMPARE(pixel(img, 390, 390), QColor(Qt::white));
        const double scale = 920.75 * photo.width() / 712 / 401.0; // photo pixels per preview pixel
        for (double x : {20.0, 150.0, edge - 20}) {
            for (double y : {20.0, 200.0, 380.0}) {
                const QColor want = meanColour(photo, x * scale, y * scale, 4 * scale);
                QVERIFY2(colourDistance(meanColour(img, x, y, 4), want) < 40,
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        }
    }

    void startPaintsPiecesAndNumbers() {
        Fixture f;
        UFMain& w = f.w();
        f.selectSize(3);
        w.Command2_Click();
        const double q = pictures::pieceSide(w.currentPicture(), 3); // twips of the picture's own extent
        const QImage& photo = w.currentPicture().image();
        const double picturePxPerTwip =
            photo.width() / w.currentPicture().width() * platform::kHiMetricPerTwip;
        const double boxPxPerPicturePx = (2005.0 / 15) / (q * picturePxPerTwip);
        for (int k : {0, 4, 7}) {
            const QImage& face = w.tile(k)->backing();
            const int c = k % 3;
            const int r = k / 3;
            for (double x : {60.0, 100.0}) {
                for (double y : {60.0, 110.0}) {
                    const double sx = c * q * picturePxPerTwip + x / boxPxPerPicturePx;
                    const double sy = r * q * picturePxPerTwip + y / boxPxPerPicturePx;
                    if (sx >= photo.width()) {
                        QCOMPARE(pixel(face, x, y), QColor(Qt::white)); // beyond the picture: cleared
                        continue;
                    }
                    const QColor want = meanColour(photo, sx, sy, 4 / boxPxPerPicturePx);
                    QVERIFY2(colourDistance(meanColour(face, x, y, 4), want) < 40,
                             qPrintable(QStringLiteral("tile %1 at %2,%3").arg(k).arg(x).arg(y)));
                }
            }
        }
        // Tile 2 lies mostly beyond the portrait picture's right edge: blank at its far side.
        QCOMPARE(pixel(w.tile(2)->backing(), 120, 60), QColor(Qt::white));
        // Numbers: black text, 12 pt, near the top-left of every box, 0..99, after an overlay.
        for (int k : {0, 8, 57, 99}) {
            auto* box = w.tile(k);
            QCOMPARE(box->foreColor(), QColor(Qt::black));
            QCOMPARE(box->fontSize(), 12.0);
            QVERIFY(!box->fontBold());
        }
        QCOMPARE(pictures::numberText(9), QStringLiteral(" 10"));
    }

    void numbersShowWhiteAboveLeftOfBlack() {
        Fixture f;
        UFMain& w = f.w();
        f.setPlainPicture(QColor(0, 128, 0));
        f.selectSize(3);
        w.Command2_Click();
        const QImage& face = w.tile(0)->backing();
        bool white = false;
        bool black = false;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                const QColor c = pixel(face, x, y);
                white = white || c.lightness() > 230;
                black = black || c.lightness() < 30;
            }
        }
        QVERIFY(white && black);
        // Without the tick the faces are pieces alone, even after a game with numbers.
        f.child<QCheckBox>("Check1")->setChecked(false);
        w.Command2_Click();
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                QCOMPARE(pixel(w.tile(0)->backing(), x, y), QColor(0, 128, 0));
            }
        }
    }

    void noPictureNumbersUnclearedBoxes() {
        Fixture f;
        UFMain& w = f.w();
        w.setCurrentPicture(platform::Picture());
        f.selectSize(3);
        f.child<QCheckBox>("Check1")->setChecked(false);
        w.Command2_Click();
        // Every box got its number, in the box's own colour, whatever the check box says.
        int ink = 0;
        const QImage& face = w.tile(5)->backing();
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 30; ++x) {
                ink += pixel(face, x, y).lightness() < 100 ? 1 : 0;
            }
        }
        QVERIFY(ink > 3);
        QVERIFY(w.isPlaying());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
