// Qt key events to the virtual-key numbers of the game's key table.
#include "keys.h"

#include <QKeyEvent>

namespace platform {

namespace {
// Every Linux platform plugin that reports scan codes (xcb, wayland, libinput) reports the XKB keycode:
// the kernel's evdev code plus 8. The offscreen platform and synthetic events report 0.
constexpr quint32 kEvdevOffset = 8;
constexpr quint32 kEvdevKey1 = 2; // KEY_1 .. KEY_9 are 2 .. 10, KEY_0 is 11
constexpr quint32 kEvdevKey0 = 11;

// The digit of a top-row key from its scan code, or -1. Shift and the layout change the symbol the key
// produces ("@" for Shift+2 on a US layout, '"' on a Japanese one), never the key.
int topRowDigit(quint32 scanCode) {
    if (scanCode < kEvdevOffset) {
        return -1;
    }
    const quint32 evdev = scanCode - kEvdevOffset;
    if (evdev == kEvdevKey0) {
        return 0;
    }
    return evdev >= kEvdevKey1 && evdev < kEvdevKey0 ? int(evdev - kEvdevKey1 + 1) : -1;
}

int arrowCode(int key) {
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
        return 0;
    }
}
} // namespace

int virtualKeyCode(const QKeyEvent& event) {
    const int key = event.key();
    // The keypad's arrows (NumLock off, or Shift with NumLock on) are arrows, whatever key carries them.
    if (const int arrow = arrowCode(key); arrow != 0) {
        return arrow;
    }
    if (const int digit = topRowDigit(event.nativeScanCode()); digit >= 0) {
        return 48 + digit;
    }
    // The keypad gives digits with the keypad modifier (NumLock on) or arrows (NumLock off, or Shift),
    // on every layout.
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return (keypad ? 96 : 48) + (key - Qt::Key_0);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return 65 + (key - Qt::Key_A);
    }
    return 0;
}

} // namespace platform
