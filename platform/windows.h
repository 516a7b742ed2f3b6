// Small window services shared by every window of the game, and the choice of the window system.
#pragma once

#include <QByteArray>

class QProcessEnvironment;
class QWidget;

namespace platform {

// Centres a window on its screen the first time it is shown; later showings keep where the player put it.
// Wayland leaves the placement of windows to the compositor, so there the compositor's place is taken.
void centreOnScreenOnce(QWidget* window);

// Whether windows can be placed by the program: not on Wayland.
bool canPlaceWindows();

// The platform plugins to ask Qt for in this environment, or nothing to leave Qt its own choice: a Wayland
// session gets a native Wayland client when Qt's Wayland plugin is installed (Qt 6.4 would choose X11
// through XWayland on GNOME), X11 being the fallback when the compositor cannot be reached.
QByteArray preferredPlatform(const QProcessEnvironment& environment, bool waylandPluginInstalled);
bool waylandPluginInstalled();
// Applies preferredPlatform to this process; call before the application object exists.
void choosePlatform();

} // namespace platform
