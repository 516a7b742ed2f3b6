// The version dialog, opened from the help menu.
#include "ufmain.h"

void UFMain::Mhv_Click() {}
