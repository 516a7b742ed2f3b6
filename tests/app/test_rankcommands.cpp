// The ranking commands of the main window: opening the ranking table and clearing the ranking file.
#include "mainwindow_fixture.h"
#include "ranking/module1.h"
#include "ranking/ufrank.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
// A ranking with a few places taken, as the program writes it.
QByteArray someRanking() {
    ranking::Tables t;
    t.RankTime[3][1] = QStringLiteral("00:41");
    t.RankName[3][1] = QStringLiteral("山田");
    t.RankTime[10][5] = QStringLiteral("59:00");
    t.RankName[10][5] = QStringLiteral("04/07/15");
    return ranking::writeRanking(t);
}
} // namespace

class TestRankCommands : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString filePath() const { return m_dir->filePath(QStringLiteral("ranking.txt")); }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void rankingWindowIsModalAndTheKeysActOnTheBoardAfterIt() {
        QVERIFY(writeAll(filePath(), someRanking()));
        testing::Fixture f(nullptr, std::chrono::milliseconds(2), m_dir->path());
        f.w().show();
        QVERIFY(QTest::qWaitForWindowActive(&f.w()));
        QTest::mouseClick(f.child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY(f.w().isPlaying());
        const qsizetype soundsBefore = f.sound.m_played->size();

        for (const bool byMenu : {false, true}) {
            QString title;
            bool modal = false;
            testing::whenModalOpens([&](QWidget* m) {
                title = m->windowTitle();
                modal = qobject_cast<ranking::UFRank*>(m) != nullptr && m->isModal();
                QTest::mouseClick(m->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
            });
            if (byMenu) {
                f.child<QAction>("MR1")->trigger();
            } else {
                QTest::mouseClick(f.child<QPushButton>("Command4"), Qt::LeftButton);
            }
            QTRY_COMPARE(title, QStringLiteral("ランキング表"));
            QVERIFY(modal);
            QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
        }
        QCOMPARE(f.sound.m_played->size(), soundsBefore + 2); // each opening plays the move sound once
        QTRY_COMPARE(QApplication::focusWidget(), f.text1());

        // An arrow key sent to whatever has the focus now moves a tile.
        int d = engine::kFromAbove;
        while (engine::isRefused(f.w().board(), d)) {
            ++d;
        }
        const int blankX = f.w().board().myBlankX;
        const int blankY = f.w().board().myBlankY;
        QTest::keyClick(QApplication::focusWidget(), testing::keyFor(d));
        QVERIFY(f.settle());
        QVERIFY(f.w().board().myBlankX != blankX || f.w().board().myBlankY != blankY);
        QCOMPARE(testing::boardInconsistency(f.w()), QString());
    }

    void rankingAskedForDuringATileSlideOpensWhenTheTileHasArrived() {
        testing::Fixture f(nullptr, std::chrono::milliseconds(300));
        f.w().show();
        QVERIFY(QTest::qWaitForWindowActive(&f.w()));
        QTest::mouseClick(f.child<QPushButton>("Command2"), Qt::LeftButton);
        QTRY_VERIFY(f.w().isPlaying());
        int d = engine::kFromAbove;
        while (engine::isRefused(f.w().board(), d)) {
            ++d;
        }
        bool opened = false;
        bool busyWhenOpened = true;
        QString inconsistency = QStringLiteral("not checked");
        testing::whenModalOpens([&](QWidget* m) {
            opened = true;
            busyWhenOpened = f.sliding();
            inconsistency = testing::boardInconsistency(f.w());
            QTest::mouseClick(m->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        });
        QTest::keyClick(f.text1(), testing::keyFor(d));
        f.halfASlide();
        QTest::mouseClick(f.child<QPushButton>("Command4"), Qt::LeftButton);
        QVERIFY(f.sliding());
        QVERIFY(f.settle());
        QTRY_VERIFY(opened);
        QVERIFY(!busyWhenOpened);
        QCOMPARE(inconsistency, QString());
        QTRY_VERIFY(f.idle());
    }

    void clearingWithYesEmptiesEverySlot() {
        QVERIFY(writeAll(filePath(), someRanking()));
        testing::Fixture f(nullptr, std::chrono::milliseconds(2), m_dir->path());
        testing::MessageRecorder answers(f.dialogs, platform::MessageAnswer::Yes);
        f.child<QAction>("MR0")->trigger();
        QCOMPARE(answers.asked().size(), 1u);
        const platform::MessageRequest& asked = answers.asked().front();
        QCOMPARE(asked.text, QStringLiteral("本当にクリアして良いですか？"));
        QCOMPARE(asked.title, QStringLiteral("削除確認"));
        QVERIFY(asked.icon == platform::MessageIcon::Question);
        QVERIFY(asked.buttons == platform::MessageButtons::YesNo);
        QCOMPARE(readAll(filePath()), ranking::emptyRanking());
    }

    void clearingWithNoLeavesTheFileAsItWas() {
        // Not even a file the program would write differently is rewritten.
        const QByteArray odd = someRanking().replace("\r\n", "\n") + "extra line";
        QVERIFY(writeAll(filePath(), odd));
        testing::Fixture f(nullptr, std::chrono::milliseconds(2), m_dir->path());
        f.w().show();
        QString text;
        bool question = false;
        testing::whenModalOpens([&](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            QVERIFY(box);
            text = box->text();
            question = box->icon() == QMessageBox::Question && box->button(QMessageBox::Yes);
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
        f.child<QAction>("MR0")->trigger();
        QTRY_COMPARE(text, QStringLiteral("本当にクリアして良いですか？"));
        QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(question);
        QCOMPARE(readAll(filePath()), odd);
    }

    void aClearingThatCannotBeWrittenIsReported() {
        QVERIFY(writeAll(m_dir->filePath(QStringLiteral("plain")), "x"));
        // A file, not a folder.
        testing::Fixture f(nullptr, std::chrono::milliseconds(2), m_dir->filePath(QStringLiteral("plain")));
        testing::MessageRecorder answers(f.dialogs, platform::MessageAnswer::Yes);
        f.child<QAction>("MR0")->trigger();
        QCOMPARE(answers.asked().size(), 2u);
        QVERIFY(answers.asked()[1].icon == platform::MessageIcon::Stop);
        QVERIFY(!answers.asked()[1].text.isEmpty());
    }
};

QTEST_MAIN(TestRankCommands)
#include "test_rankcommands.moc"
