// Placeholder reading and writing, replaced by the real ranking file.
#include "module1.h"
