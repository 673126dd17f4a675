// The sensor parameters: the parameter set, the parameter panel, the
// operating modes and the parameter file.
#pragma once

#include <cstdint>

extern uint16_t pp[264];

extern uint16_t power, pmode, average, evalmode, hold, intlim, maxcolno, outmode, trigger, exteach,
    calcmode, dynwinlo, dynwinhi, colorgroup, frei15, frei16;

void CopyVarsToPP();
void CopyPPtoVars();
void CopyFileParatoVars();

// Parameter panel.
void GetPanelValues();
void SetPanelValues();
void InitPanelCtrlAttr();
// The refresh after a load from the sensor or a file. Loaded values the
// panel cannot show are limited to its ranges and listed in one message;
// loadedMaxcolNo is MAXCOL-No. as loaded, before its cut to anzVec, or -1.
void RefreshAfterLoad(int loadedMaxcolNo = -1);
// Lights exactly the memory button that matches `target`.
void SetMemorySelector(int newTarget);

// Operating modes.
void InitPowerMode();
void InitEvalMode();
void InitCalcMode();
void InitExteach();
void InitTrigger();
void InitMaxVecNo();
void SetDispNames();
// Puts EXT1..EXT4 back into the TRIGGER list when only CONT and SELF are left.
void RestoreExtTriggers();

// Parameter file.
void SendParaToFile();
void ReadParaFromFile();
