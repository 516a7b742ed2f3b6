// The version dialog: the icon, the program's name and version with two lines about its maker, and OK.
#include "ufver.h"

#include "platform/twips.h"
#include "platform/windows.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

using platform::twipsRect;

namespace {
constexpr int kVersionWidth = 3885;
constexpr int kVersionHeight = 1380;

QPointer<UFVer>& openInstance() {
    static QPointer<UFVer> instance;
    return instance;
}
} // namespace

const QString& UFVer::text() {
    static const QString lines = QStringLiteral("Zorupa Nemi Ver1.0\n"
                                                "制作：Zorupa Nemi 開発チーム\n"
                                                "写真の出典：CREDITS.md");
    return lines;
}

UFVer* UFVer::showInstance() {
    QPointer<UFVer>& instance = openInstance();
    if (instance.isNull()) {
        // Without a parent, so that it stays open when the main window closes; it deletes itself on closing.
        instance = new UFVer;
    }
    instance->show();
    instance->raise();
    instance->activateWindow();
    return instance;
}

UFVer::UFVer() {
    setObjectName(QStringLiteral("UFVer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    platform::makeFixedDialog(this, kVersionWidth, kVersionHeight);
    createControls();
}

void UFVer::createControls() {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/assets/icon.png")));
    Image1->setScaledContents(true);
    Image1->setGeometry(twipsRect(120, 120, 645, 645));

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setPlainText(text());
    Text1->setReadOnly(true);
    Text1->setTabChangesFocus(true);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->document()->setDocumentMargin(1);
    QPalette pal = Text1->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    Text1->setPalette(pal);
    Text1->setGeometry(twipsRect(900, 120, 2835, 675));

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(2520, 900, 1215, 375));
    connect(Command1, &QPushButton::clicked, this, &UFVer::Command1_Click);

    // OK comes first in the tab order, so it holds the focus when the dialog opens.
    setTabOrder(Command1, Text1);
    Command1->setFocus();
}

void UFVer::Command1_Click() {
    close();
}

void UFVer::keyPressEvent(QKeyEvent* event) {
    // Esc never closes the dialog, and Enter only as a press of OK, which OK takes itself while it has the
    // focus.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void UFVer::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    platform::centreOnScreenOnce(this);
}
