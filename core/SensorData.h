// The sensor's data as the program holds it: the parameter set with its
// sixteen variables, the vector teach table, the row colours, the calibration
// factors, the third-root table and the measurement variables of the last
// frame.
#pragma once

#include <cstdint>

// ---- parameter set: 16 parameters, then 31 row records of 8 words
extern uint16_t pp[264];
extern uint16_t power, pmode, average, evalmode, hold, intlim, maxcolno, outmode, trigger, exteach,
    calcmode, dynwinlo, dynwinhi, colorgroup, frei15, frei16;

// The variables into pp in the send layout.
void CopyVarsToPP();
// An answer in pp (order 3: the parameters, order 4: one row) into the variables.
void CopyPPtoVars();
// A parameter file's set, read into pp in the send layout, into the variables.
void CopyFileParatoVars();

// ---- vector teach table
extern uint16_t ctt[31][7];
extern uint16_t groupbuf[31];
// Indicator colour 0x00RRGGBB of each row; 31..44 travel in the colour files only.
extern int tolvanearr[45];

// ---- calibration (units of 1/1024) and the third-root table
extern uint16_t cfrot, cfgruen, cfblau;
extern uint16_t data3rdRoot[256];

// ---- measurement variables of the last frame (0..4095 for R, G, B, INT, GN)
extern uint16_t dataR, dataG, dataB, dataX, dataY, dataInt, dataColor, dataRawR, dataRawG, dataRawB,
    dataTemp, dataGroup, dataRef, dataDir, dataDif, dataGn;
extern uint16_t dataTrigger;
extern int rgbcolor;

// ---- the frame the displays show: a loop shows at most forty frames a
// second, so the newest frame received may not be on screen yet. Teaching
// takes every value from the frame shown.
struct ShownFrame {
    uint16_t x, y, intensity, gn;
    int rgb;
    long long msecs; // wall-clock time it was shown, ms since the epoch; 0: none yet
};
extern ShownFrame shownFrame;
