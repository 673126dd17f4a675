// Calibration factors and the third-root table.
#include "calib/Calib.h"

uint16_t cfrot = 1024, cfgruen = 1024, cfblau = 1024;
uint16_t data3rdRoot[256];

// The calibration panel's raw displays follow every frame once that panel exists.
void SetPanelCalibData() {}
