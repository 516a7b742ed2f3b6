// The ranking side of the main window: placing a finished time, the ranking table and its clearing.
#include "ufmain.h"

int UFMain::myJunni() { return 6; }

void UFMain::handOverToRanking() {}

void UFMain::Command4_Click() {}

void UFMain::MR0_Click() {}
