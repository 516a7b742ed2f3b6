#include "application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
// The layout is drawn in twips for the interface font. Platform themes (qt6ct, KDE) put their own font on
// the application once the event loop runs and again whenever the desktop's fonts change; each time the
// interface font is put back, which also drops the theme's fonts per widget class.
class InterfaceFontKeeper : public QObject {
public:
    InterfaceFontKeeper(const QFont& font, QApplication& app) : QObject(&app), m_font(font) {
        QApplication::setFont(m_font);
        app.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::ApplicationFontChange &&
            QApplication::font() != m_font) {
            // Queued: the theme's own setFont is still running when it tells of the change.
            QMetaObject::invokeMethod(
                this, [this] { QApplication::setFont(m_font); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QFont m_font;
};
} // namespace

void setupApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("zorupa"));
    QApplication::setApplicationDisplayName(QString());
    QApplication::setOrganizationName(QString()); // the player's data folder is then ~/.local/share/zorupa
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // The layout was drawn for the Windows Japanese fonts; the IPA fonts share their metrics.
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    new InterfaceFontKeeper(QFont(QStringLiteral("IPAGothic"), 9), app); // owned by the application
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
