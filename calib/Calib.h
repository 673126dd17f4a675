// White-light calibration and the third-root table: the calibration
// variables, the operations of the calibration panel and the table the sensor
// receives after every accepted set of factors.
#pragma once

#include <cstdint>

// Read from SET VALUE and MAXIMUM DELTA at each calculation.
extern uint16_t setvalue, maxdelta;
// Means of the raw channels and of deltaraw over the calibration frames.
extern uint16_t meanR, meanG, meanB, meanD;

// The GO loop of the calibration run: live measurement until STOP or a time-out.
void GetCalibData();
// Asks for confirmation, measures the calibration frames, forms the means
// over the frames that arrived and calls SetCF.
void CalcCF();
// Checks the means and, when they pass, sets the factors and their fields.
void SetCF();
// Sends the factors standing in the CF fields (order 30); comecho tells the outcome.
void SendCF();
// Reads the sensor's factors (order 31) into the variables and the CF fields.
void GetCF();

// Fills data3rdRoot: entry i is the cube root of 16 i, times 1000.
void Calc3rdRoot();
// Computes the table and sends it: the announcement, then its pieces;
// comecho is 1 only when the last piece was accepted.
void Send3rdRoot();
// Telegrams of Send3rdRoot: the announcement and the pieces.
int ThirdRootTelegrams();

// Waits on the clock alone, dispatching no events: the sensor's store times,
// during which no other callback may reach the link.
void PauseOnTimer(double seconds);
