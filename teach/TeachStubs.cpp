// The mean-value teach panel's part of a calculation-mode change; that panel
// is built later.
#include "teach/TeachTable.h"

void InitTeachPanel() {}
