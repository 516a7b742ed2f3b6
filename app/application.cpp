#include "application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

void setupApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("zorupa"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setOrganizationName(QString()); // the player's data folder is then ~/.local/share/zorupa
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // The layout was drawn for the Windows Japanese fonts; the IPA fonts share their metrics.
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont interfaceFont(QStringLiteral("IPAGothic"), 9);
    QApplication::setFont(interfaceFont);
    app.setQuitOnLastWindowClosed(true);
}
