// Small window services shared by every window of the game.
#pragma once

class QWidget;

namespace platform {

// A fixed dialog frame with a close box and neither maximise nor minimise button, its client area the given
// size in twips.
void makeFixedDialog(QWidget* window, int widthTwips, int heightTwips);

// Centres a window on its screen the first time it is shown; later showings keep where the player put it.
// Wayland leaves the placement of windows to the compositor, so there the compositor's place is taken.
void centreOnScreenOnce(QWidget* window);

} // namespace platform
