#include "windows.h"

#include "twips.h"

#include <QScreen>
#include <QWidget>

namespace platform {

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
    if (const QScreen* s = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

} // namespace platform
