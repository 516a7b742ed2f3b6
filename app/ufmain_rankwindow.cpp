// The ranking table window and the clearing of the ranking, opened from the main window.
#include "ufmain.h"

void UFMain::Command4_Click() {}

void UFMain::MR0_Click() {}
