// Keys as the game's input handling knows them: the classic virtual-key numbers, and the arrows they stand
// for.
#pragma once

class QKeyEvent;

namespace platform {

// Arrows 37..40 (also the keypad's arrows with NumLock off), top-row digits 48..57, keypad digits 96..105,
// letters 65..90; anything else 0. Digits are told by the physical key, so Shift and the keyboard layout
// do not change them: Shift+2 is 50 whether the layout prints "@", '"' or "é" on that key.
int virtualKeyCode(const QKeyEvent& event);

// The way a key points: the arrows, and the keypad's and the top row's 4, 8, 6 and 2 that stand for them.
enum class Arrow { None, Left, Up, Right, Down };
Arrow arrowOfKey(int virtualKeyCode);

} // namespace platform
