// Keys as the game's input handling knows them: the classic virtual-key numbers of its key table.
#pragma once

class QKeyEvent;

namespace platform {

// Arrows 37..40 (also the keypad's arrows with NumLock off), top-row digits 48..57, keypad digits 96..105,
// letters 65..90; anything else 0. Digits are told by the physical key, so Shift and the keyboard layout
// do not change them: Shift+2 is 50 whether the layout prints "@", '"' or "é" on that key.
int virtualKeyCode(const QKeyEvent& event);

} // namespace platform
