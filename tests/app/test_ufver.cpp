// The version dialog: one copy at a time, beside a main window that stays usable, its keys, and the
// program's end when it is the last window open.
#include "mainwindow_fixture.h"
#include "ufver.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {
std::vector<UFVer*> versionDialogs() {
    std::vector<UFVer*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* v = qobject_cast<UFVer*>(w)) {
            found.push_back(v);
        }
    }
    return found;
}
QPushButton* okButton(UFVer* v) {
    return v->findChild<QPushButton*>(QStringLiteral("Command1"));
}
} // namespace

class TestUFVer : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        for (UFVer* v : versionDialogs()) {
            v->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(versionDialogs().empty());
    }

    void f1TwiceLeavesOneDialogAndTheGameGoesOn() {
        testing::Fixture f;
        f.w().show();
        QVERIFY(QTest::qWaitForWindowActive(&f.w()));
        QTest::keyClick(&f.w(), Qt::Key_F1);
        QCOMPARE(versionDialogs().size(), 1u);
        QPointer<UFVer> first = versionDialogs().front();
        QVERIFY(first->isVisible());
        QVERIFY(first->parent() == nullptr);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        f.w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.w()));
        QTest::keyClick(&f.w(), Qt::Key_F1);
        f.child<QAction>("Mhv")->trigger();
        QCOMPARE(versionDialogs().size(), 1u);
        QCOMPARE(versionDialogs().front(), first.data());

        // The main window takes clicks while the dialog is open: a game starts.
        QTest::mouseClick(f.child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY(f.w().isPlaying());
        QVERIFY(first->isVisible());
    }

    void showsIconTextAndOkWithTheFocus() {
        UFVer* v = UFVer::showInstance();
        QVERIFY(QTest::qWaitForWindowActive(v));
        QCOMPARE(v->windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(v->size(), QSize(259, 92));
        QCOMPARE(v->focusWidget(), okButton(v));

        const QStringList lines =
            v->findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("Zorupa Nemi Ver1.0"));
        QVERIFY(!lines[1].isEmpty() && !lines[2].isEmpty());

        // The 64-pixel icon fills its 43-pixel control, stretched, not cropped or left at its own size.
        auto* image = v->findChild<QLabel*>(QStringLiteral("Image1"));
        QCOMPARE(image->geometry(), QRect(8, 8, 43, 43));
        const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage icon = QImage(QStringLiteral(":/assets/icon.png")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(43, 43));
        const QImage expected = icon.scaled(43, 43, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        for (const QPoint p : {QPoint(0, 0), QPoint(21, 21), QPoint(42, 42), QPoint(10, 30), QPoint(35, 5)}) {
            QCOMPARE(shown.pixelColor(p), expected.pixelColor(p));
        }
    }

    void escapeKeepsItAndEnterOnOkCloses() {
        QPointer<UFVer> v = UFVer::showInstance();
        QVERIFY(QTest::qWaitForWindowActive(v));
        QTest::keyClick(v, Qt::Key_Escape);
        auto* text = v->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Return); // Enter closes only while OK has the focus
        QTest::qWait(20);
        QVERIFY(!v.isNull() && v->isVisible());

        okButton(v)->setFocus();
        QTest::keyClick(okButton(v), Qt::Key_Return);
        QTRY_VERIFY(v.isNull());

        v = UFVer::showInstance(); // the close box, then OK clicked, unload it the same way
        v->close();
        QTRY_VERIFY(v.isNull());
        v = UFVer::showInstance();
        QTest::mouseClick(okButton(v), Qt::LeftButton);
        QTRY_VERIFY(v.isNull());
        QVERIFY(UFVer::showInstance() != nullptr); // and it opens again afterwards
    }

    void outlivesTheMainWindowAndEndsTheProgram() {
        testing::Fixture f;
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        f.child<QAction>("Mhv")->trigger();
        QPointer<UFVer> v = versionDialogs().front();

        bool shownAfterMainClosed = false;
        bool timedOut = false;
        QTimer::singleShot(0, &f.w(), [&] { f.w().close(); });
        QTimer::singleShot(100, v, [&] {
            shownAfterMainClosed = !f.w().isVisible() && v->isVisible();
            QTest::mouseClick(okButton(v), Qt::LeftButton);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, qApp, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        watchdog.start(30000);
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QApplication::setQuitOnLastWindowClosed(true);
        QApplication::exec(); // returns once the program would end
        QVERIFY(!timedOut);
        QVERIFY(shownAfterMainClosed);
        QCOMPARE(lastClosed.size(), 1);
    }
};

QTEST_MAIN(TestUFVer)
#include "test_ufver.moc"
