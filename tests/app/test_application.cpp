// What every run sets up before its first window: the interface font and Qt's own texts in Japanese.
#include "application.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setupApplication(*qApp); }

    void interfaceFontIsIpaGothic() {
        const QFontInfo info(QApplication::font());
        QCOMPARE(info.family(), QStringLiteral("IPAGothic"));
        QCOMPARE(QApplication::font().pointSize(), 9);
        // The ranking lists ask for the Windows Mincho face; it must not fall back to a Latin font.
        QCOMPARE(QFontInfo(QFont(QStringLiteral("ＭＳ 明朝"), 9)).family(), QStringLiteral("IPAMincho"));
    }

    void messageBoxButtonsSpeakJapanese() {
        QMessageBox box(QMessageBox::Question, QStringLiteral("削除確認"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    }

    void fileDialogSpeaksJapanese() {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn);
        QVERIFY2(lookIn->text() != QStringLiteral("Look in:"), qPrintable(lookIn->text()));
    }
};

QTEST_MAIN(TestApplication)
#include "test_application.moc"
