// The version dialog, opened from the help menu.
#include "ufmain.h"
#include "ufver.h"

void UFMain::Mhv_Click() {
    UFVer::showInstance();
}
