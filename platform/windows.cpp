// Window placement and the choice of the window system.
#include "windows.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QScreen>
#include <QWidget>

namespace platform {

bool canPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void centreOnScreenOnce(QWidget* window) {
    if (window->property("centred").toBool()) {
        return;
    }
    window->setProperty("centred", true);
    if (!canPlaceWindows()) {
        return;
    }
    if (const QScreen* s = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

QByteArray preferredPlatform(const QProcessEnvironment& environment, bool waylandPluginInstalled) {
    if (!environment.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty() || !waylandPluginInstalled) {
        return {}; // the player's own choice, or nothing to choose from
    }
    const QString session = environment.value(QStringLiteral("XDG_SESSION_TYPE"));
    const bool wayland = session == u"wayland" ||
                         (session.isEmpty() && environment.contains(QStringLiteral("WAYLAND_DISPLAY")) &&
                          !environment.contains(QStringLiteral("DISPLAY")));
    return wayland ? QByteArrayLiteral("wayland;xcb") : QByteArray();
}

bool waylandPluginInstalled() {
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        const QDir platforms(folder + QStringLiteral("/platforms"));
        if (!platforms.entryList({QStringLiteral("libqwayland-*.so")}, QDir::Files).isEmpty()) {
            return true;
        }
    }
    return false;
}

void choosePlatform() {
    const QByteArray chosen =
        preferredPlatform(QProcessEnvironment::systemEnvironment(), waylandPluginInstalled());
    if (!chosen.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", chosen);
    }
}

} // namespace platform
