// Window placement and frames.
#include "windows.h"

#include "twips.h"

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

void makeFixedDialog(QWidget* window, int widthTwips, int heightTwips) {
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(twipsToPixelsRounded(widthTwips), twipsToPixelsRounded(heightTwips));
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

} // namespace platform
