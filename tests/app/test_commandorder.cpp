// Commands in the order the player gave them: each waits until the window is idle, so a command behind a
// slide, a picture load or a command that opened a window runs only once that is over. The dialogs here are
// the real ones, answered as a player would.
#include "engine/rules.h"
#include "mainwindow_fixture.h"
#include "support/boardtext.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>

using namespace std::chrono_literals;
using testing::Fixture;

namespace {

QString text(const engine::Board& b) {
    return QString::fromStdString(engine::boardToText(b));
}

// The modal window that opens next, once it is there.
QWidget* openedModal() {
    QWidget* modal = nullptr;
    (void)QTest::qWaitFor([&] { return (modal = QApplication::activeModalWidget()) != nullptr; }, 10000);
    return modal;
}

void chooseInDialog(QWidget* dialog, const QString& path) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(path);
    QTest::keyClick(edit, Qt::Key_Return);
}

// The row of a file dialog's list that shows this name, once the dialog has read its folder.
QModelIndex rowNamed(const QListView* list, const QString& name) {
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, list->rootIndex());
        if (index.data().toString() == name) {
            return index;
        }
    }
    return {};
}

QString plainPicture(const QTemporaryDir& dir, const QString& name, int width) {
    const QString path = dir.filePath(name);
    QImage plain(width, 48, QImage::Format_RGB32);
    plain.fill(Qt::darkCyan);
    plain.save(path);
    return path;
}

} // namespace

class TestCommandOrder : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // A game of 5 x 5 under way in the active window, one slide half shown.
    static void startAndSlide(Fixture& f) {
        QVERIFY(f.showAndStart());
        f.w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.w()));
        QTest::keyClick(f.text1(), f.w().board().myBlankY > 0 ? Qt::Key_Down : Qt::Key_Up);
        f.halfASlide();
        QVERIFY(f.sliding());
    }
    // The buttons clicked and F2 pressed, as the player gives them.
    static void click(Fixture& f, const char* button) {
        QTest::mouseClick(f.child<QPushButton>(button), Qt::LeftButton);
    }
    static void pressF2(Fixture& f) { QTest::keyClick(&f.w(), Qt::Key_F2); }

private slots:
    // "画像指定" then "スタート" behind a slide: the dialog opens when the tile has arrived, and Start waits
    // for the dialog and for the picture chosen in it; then it starts a game with that picture.
    void chooseThenStartDuringASlide_data() {
        QTest::addColumn<bool>("choose");
        QTest::newRow("a picture chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void chooseThenStartDuringASlide() {
        QFETCH(bool, choose);
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(41), 150ms, {}, &gate);
        startAndSlide(f);
        UFMain& w = f.w();
        const QString slid = text(w.board());
        const double before = w.currentPicture().width();
        click(f, "Command1");
        pressF2(f);
        QVERIFY(f.settle());
        QWidget* dialog = openedModal();
        QVERIFY(dialog);
        QCOMPARE(w.phase(), UFMain::Phase::Dialog);
        QCOMPARE(text(w.board()), slid); // Start has not run behind the open dialog
        if (choose) {
            chooseInDialog(dialog, plainPicture(m_dir, QStringLiteral("chosen.png"), 64));
            QTRY_COMPARE(gate.waiting(), 1);
            QCOMPARE(text(w.board()), slid); // nor behind the load
            gate.release();
            QTRY_VERIFY(f.idle());
            QCOMPARE(w.currentPicture().width(), 64 * 2540.0 / 96);
        } else {
            QTest::keyClick(dialog, Qt::Key_Escape);
            QTRY_VERIFY(f.idle());
            QCOMPARE(w.currentPicture().width(), before);
        }
        // Start ran last: a game with the picture now held, the preview gone.
        QVERIFY(w.isPlaying());
        QVERIFY(text(w.board()) != slid);
        QVERIFY(!f.child<QWidget>("Picture2")->isVisibleTo(&w));
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    // The same behind a picture load: the dropped picture comes first, then the dialog, then Start.
    void chooseThenStartDuringALoad() {
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(42), 2ms, {}, &gate);
        QVERIFY(f.showAndStart());
        UFMain& w = f.w();
        const QString before = text(w.board());
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(plainPicture(m_dir, QStringLiteral("dropped.png"), 80))});
        w.Form_OLEDragDrop(&drop);
        QTRY_COMPARE(gate.waiting(), 1);
        w.Command1_Click();
        w.Command2_Click();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), nullptr); // the dialog waits for the load
        gate.release();
        QWidget* dialog = openedModal();
        QVERIFY(dialog);
        QCOMPARE(w.currentPicture().width(), 80 * 2540.0 / 96);
        QCOMPARE(text(w.board()), before);
        chooseInDialog(dialog, plainPicture(m_dir, QStringLiteral("chosen.png"), 64));
        QTRY_COMPARE(gate.waiting(), 1);
        QCOMPARE(text(w.board()), before); // Start has not run yet
        gate.release();
        QTRY_VERIFY(f.idle());
        QCOMPARE(w.currentPicture().width(), 64 * 2540.0 / 96);
        QVERIFY(w.isPlaying());
        QVERIFY(text(w.board()) != before);
        QCOMPARE(testing::boardInconsistency(w), QString());
    }

    // "ランキング" then "スタート" behind a slide: the ranking window opens when the tile has arrived, and
    // Start waits until it has been closed.
    void rankingThenStart() {
        Fixture f(std::make_unique<platform::ClockSeededSource>(43), 150ms);
        startAndSlide(f);
        UFMain& w = f.w();
        const QString slid = text(w.board());
        click(f, "Command4");
        pressF2(f);
        QVERIFY(f.settle());
        QWidget* rank = openedModal();
        QVERIFY(rank);
        QCOMPARE(rank->objectName(), QStringLiteral("UFRank"));
        QCOMPARE(text(w.board()), slid);
        QTest::mouseClick(rank->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QTRY_VERIFY(f.idle());
        QVERIFY(text(w.board()) != slid);
        QVERIFY(w.isPlaying());
    }

    // A file dropped while the file dialog is open waits for the dialog, and for the picture chosen in it,
    // and then replaces it.
    void dropWhileTheFileDialogIsOpen() {
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(44), 2ms, {}, &gate);
        f.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
        UFMain& w = f.w();
        w.Command1_Click();
        QWidget* dialog = openedModal();
        QVERIFY(dialog);
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(plainPicture(m_dir, QStringLiteral("dropped.png"), 80))});
        w.Form_OLEDragDrop(&drop);
        QCoreApplication::processEvents();
        QCOMPARE(gate.waiting(), 0);
        chooseInDialog(dialog, plainPicture(m_dir, QStringLiteral("chosen.png"), 64));
        QTRY_COMPARE(gate.waiting(), 1);
        QVERIFY(gate.nextPath().endsWith(QStringLiteral("chosen.png")));
        gate.release();
        QTRY_COMPARE(gate.waiting(), 1);
        QVERIFY(gate.nextPath().endsWith(QStringLiteral("dropped.png")));
        QCOMPARE(w.currentPicture().width(), 64 * 2540.0 / 96);
        gate.release();
        QTRY_VERIFY(f.idle());
        QCOMPARE(w.currentPicture().width(), 80 * 2540.0 / 96);
    }

    // The decoding is got ready while the player chooses: a drag with a file over the window starts loading
    // that file at once, and the file dialog, once open, gets a helper ready; the dialog lets it go when
    // cancelled.
    void decodingGotReadyWhileThePlayerChooses() {
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(46), 2ms, {}, &gate);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWindow* window = w.windowHandle();
        const QPoint inside = w.findChild<QWidget*>(QStringLiteral("Label1"))->geometry().center();
        const auto dragOver = [&](const QMimeData& data) {
            QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &enter);
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(window, &leave);
        };
        QMimeData words;
        words.setText(QStringLiteral("no file"));
        dragOver(words);
        QCOMPARE(gate.waiting(), 0);
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(plainPicture(m_dir, QStringLiteral("over.png"), 30))});
        dragOver(file);
        QCOMPARE(gate.waiting(), 1);
        QVERIFY(gate.nextPath().endsWith(QStringLiteral("over.png")));
        gate.release();
        QCOMPARE(f.preparedLoads, 0);

        int ended = f.endedPreparedLoads;
        click(f, "Command1");
        QWidget* dialog = openedModal();
        QVERIFY(dialog);
        QCOMPARE(f.preparedLoads, 1);
        QCOMPARE(f.endedPreparedLoads, ended);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_VERIFY(f.idle());
        QCOMPARE(f.endedPreparedLoads, ended + 1);
    }

    // The file the player goes to in the file dialog, by a click or by typing its name, decodes before it is
    // chosen: choosing it takes that picture. Meanwhile a helper is got ready again, for a file chosen
    // instead, and let go once the choice has loaded.
    void dialogDecodesTheFileGoneTo() {
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(47), 2ms, {}, &gate);
        UFMain& w = f.w();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        plainPicture(m_dir, QStringLiteral("first.bmp"), 40);
        click(f, "Command1");
        auto* dialog = qobject_cast<QFileDialog*>(openedModal());
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(list);
        QModelIndex first;
        QTRY_VERIFY((first = rowNamed(list, QStringLiteral("first.bmp"))).isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(first).center());
        QCOMPARE(gate.waiting(), 1);
        QVERIFY(gate.nextPath().endsWith(QStringLiteral("first.bmp")));
        QCOMPARE(f.preparedLoads, 1);
        gate.release();
        QTRY_COMPARE(f.preparedLoads, 2);
        const int ended = f.endedPreparedLoads;
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
        QTRY_VERIFY(f.idle());
        QCOMPARE(gate.waiting(), 0);
        QCOMPARE(w.currentPicture().width(), 40 * 2540.0 / 96);
        QCOMPARE(f.endedPreparedLoads, ended + 1);

        // A name typed into the box, key by key, decodes once it names the file; Return takes that picture.
        plainPicture(m_dir, QStringLiteral("second.bmp"), 50);
        click(f, "Command1");
        dialog = qobject_cast<QFileDialog*>(openedModal());
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        QTest::keyClicks(name, QStringLiteral("second.bm"));
        QCOMPARE(gate.waiting(), 0);
        QTest::keyClicks(name, QStringLiteral("p"));
        QCOMPARE(gate.waiting(), 1);
        QVERIFY(gate.nextPath().endsWith(QStringLiteral("second.bmp")));
        gate.release();
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY(f.idle());
        QCOMPARE(gate.waiting(), 0);
        QCOMPARE(w.currentPicture().width(), 50 * 2540.0 / 96);
    }

    // Closing the window ends a load under way and every command waiting: nothing of them runs after.
    void closingDropsWhatWaits() {
        testing::GatedLoader gate;
        Fixture f(std::make_unique<platform::ClockSeededSource>(45), 2ms, {}, &gate);
        QVERIFY(f.showAndStart());
        UFMain& w = f.w();
        const QString before = text(w.board());
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(plainPicture(m_dir, QStringLiteral("dropped.png"), 80))});
        w.Form_OLEDragDrop(&drop);
        QTRY_COMPARE(gate.waiting(), 1);
        const double held = w.currentPicture().width();
        w.Command2_Click();
        w.Command1_Click();
        w.close();
        gate.release();
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(w.currentPicture().width(), held);
        QCOMPARE(text(w.board()), before);
        QCOMPARE(w.phase(), UFMain::Phase::Closed);
    }
};

QTEST_MAIN(TestCommandOrder)
#include "test_commandorder.moc"
