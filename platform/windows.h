// Small window services shared by every window of the game.
#pragma once

class QWidget;

namespace platform {

// Centres a window on its screen the first time it is shown; later showings keep where the player put it.
void centreOnScreenOnce(QWidget* window);

} // namespace platform
