#include "keys.h"

#include <QKeyEvent>

namespace platform {

int virtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    switch (key) {
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    default:
        break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return (keypad ? 96 : 48) + (key - Qt::Key_0);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return 65 + (key - Qt::Key_A);
    }
    return 0;
}

} // namespace platform
