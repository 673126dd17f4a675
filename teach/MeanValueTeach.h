// The mean-value teach panel: a captured series of frames, its means and
// maximum deviations, and teaching the mean into the vector teach table.
#pragma once

#include <cstdint>

// The means of the captured columns R, G, B, X, Y, INT, GN.
extern uint16_t meanr, meang, meanb, meanx, meany, meanint, meangn;

// ---- capture
void CaptureFrame();
void UndoCapture();
void ResetTpTable();
void CalcMeanValues();
void CalcMaxDelta();

// The vector distance of one frame from the mean in a calculation mode's
// layout; saturates at 65535.
uint16_t VectorDistance(int calcmode, int dX, int dY, int dI, int dG);

// ---- teach
void TeachToTable();
