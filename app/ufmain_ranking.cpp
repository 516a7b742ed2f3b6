// The ranking side of the main window: placing a finished time and opening the name entry.
#include "ufmain.h"

int UFMain::myJunni() { return 6; }

void UFMain::handOverToRanking() {}
