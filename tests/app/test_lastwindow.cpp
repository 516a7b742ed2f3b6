// The program ends when its last window goes, whatever loop is running at that moment: a tile slide, the
// shuffle, the ranking lists' slide, or a name entry or version dialog closed after the main window.
// Each case runs the application's own main loop, as the program does, with real events.
#include "mainwindow_fixture.h"
#include "ranking/ufrank.h"
#include "ranking/ufrankinput.h"
#include "ufver.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

using namespace std::chrono_literals;
using testing::Fixture;

namespace {

// Runs the main loop until the program would end; a loop still running after half a minute fails the case.
int runMainLoop(QObject* scope) {
    QTimer::singleShot(30000, scope, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}

template <typename T> T* topLevel() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

class TestLastWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        // Dialogs that delete themselves when closed go now, so no case sees another's windows.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void closedDuringAPlayersSlide() {
        QObject scope; // timers armed here die with the case
        Fixture f(std::make_unique<platform::ClockSeededSource>(19), 400ms);
        UFMain& w = f.w();
        QVERIFY(f.showAndStart());
        bool slideReturned = false;
        QTimer::singleShot(0, &scope, [&] {
            QTimer::singleShot(50, &scope, [&] { w.close(); });
            QTest::keyClick(f.text1(), w.board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
            slideReturned = true;
        });
        QCOMPARE(runMainLoop(&scope), 0);
        QVERIFY(slideReturned);
        QCOMPARE(testing::boardInconsistency(w), QString()); // the slide still completed its move
    }

    void closedDuringTheShuffle() {
        QObject scope;
        Fixture f(std::make_unique<platform::ClockSeededSource>(23));
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        f.selectSize(10);
        QTimer::singleShot(0, &scope, [&] {
            QTimer::singleShot(0, &scope, [&] { w.close(); }); // served by the first move's yield
            w.Command2_Click();
        });
        QCOMPARE(runMainLoop(&scope), 0);
        QVERIFY(!w.isPlaying());
    }

    // The ranking window is modal, so the main window goes with it only when everything closes at once, as
    // when the session ends.
    void everythingClosedDuringTheListSlide() {
        QObject scope;
        Fixture f;
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bool sliding = false;
        QTimer::singleShot(0, &scope, [&] {
            QTimer::singleShot(50, &scope, [&] {
                auto* rank = topLevel<ranking::UFRank>();
                QVERIFY(rank);
                QTest::mouseClick(rank->findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
                // Everything closes once the lists have begun to move.
                auto* watch = new QTimer(&scope);
                const QWidget* list = rank->findChild<QWidget*>(QStringLiteral("List2_0"));
                QObject::connect(watch, &QTimer::timeout, &scope, [&, rank, watch, list, x = list->x()] {
                    if (rank->isSliding()) {
                        f.clock.advance(std::chrono::milliseconds(100));
                    }
                    if (rank->isSliding() && list->x() != x) {
                        watch->stop();
                        sliding = true;
                        QApplication::closeAllWindows();
                    }
                });
                watch->start(5);
            });
            w.Command4_Click();
        });
        QCOMPARE(runMainLoop(&scope), 0);
        QVERIFY(sliding);
    }

    void nameEntryClosedLast() {
        QObject scope;
        Fixture f;
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        auto* entry = new ranking::UFRankInput({4, QStringLiteral("01:00"), 1}, ranking::Tables{}, f.ranking);
        entry->showOver(&f.w());
        QPointer<ranking::UFRankInput> alive(entry);
        QTimer::singleShot(0, &scope, [&] {
            f.w().close();
            QTimer::singleShot(50, &scope, [&] { alive->close(); });
        });
        QCOMPARE(runMainLoop(&scope), 0);
    }

    void versionDialogClosedLast() {
        QObject scope;
        Fixture f;
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        f.w().Mhv_Click();
        QTimer::singleShot(0, &scope, [&] {
            f.w().close();
            QTimer::singleShot(50, &scope, [&] {
                QTest::mouseClick(topLevel<UFVer>()->findChild<QPushButton*>(QStringLiteral("Command1")),
                                  Qt::LeftButton);
            });
        });
        QCOMPARE(runMainLoop(&scope), 0);
    }
};

QTEST_MAIN(TestLastWindow)
#include "test_lastwindow.moc"
