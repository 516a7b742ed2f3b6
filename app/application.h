// What every run of the game sets up before its first window: names, the interface font, font stand-ins.
#pragma once

class QApplication;

void setupApplication(QApplication& app);
