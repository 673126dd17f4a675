// The parameter panel, the operating modes that reshape the panels, and the
// parameter file. The parameter set itself is shared: core/SensorData.h.
#pragma once

#include <cstdint>

// Parameter panel.
void InitPanelCtrlAttr();
// The refresh after a load from the sensor or a file. Loaded values the
// panel cannot show are limited to its ranges and listed in one message;
// loadedMaxcolNo is MAXCOL-No. as loaded, before its cut to anzVec, or -1.
void RefreshAfterLoad(int loadedMaxcolNo = -1);

// Operating modes.
void InitPowerMode();
void InitEvalMode();
void InitCalcMode();
void InitExteach();
void InitTrigger();
void SetDispNames();
// The teach table's heading of column 0..6 in a calculation mode 0..7, as
// the panel shows it; "" for a column the mode leaves unused or out of range.
const char *TeachColumnName(int calcmode, int column);
// Puts EXT1..EXT4 back into the TRIGGER list when only CONT and SELF are left.
void RestoreExtTriggers();

// Parameter file.
void SendParaToFile();
void ReadParaFromFile();
