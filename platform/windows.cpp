// Window placement.
#include "windows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

namespace {
// Wayland lets the compositor place windows; a position the program asks for is ignored.
bool canPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

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

} // namespace platform
