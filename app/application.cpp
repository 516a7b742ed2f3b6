#include "application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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
    // The interface is Japanese whatever the system's language: Qt's own texts too (the file dialog, the
    // message boxes' はい and いいえ), and dates in Japanese order.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(qtTexts);
    }
    app.setQuitOnLastWindowClosed(true);
}
