// White-light calibration and the third-root table.
#pragma once

#include <cstdint>

extern uint16_t cfrot, cfgruen, cfblau;
extern uint16_t data3rdRoot[256];

void SetPanelCalibData();
