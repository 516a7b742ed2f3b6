#include "windows.h"

#include <QScreen>
#include <QWidget>

namespace platform {

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
