// Live measurement: data-frame polling, history buffers, graphs and the
// three-sides view.
#pragma once

#include <cstdint>

// Frames decoded by the GO loop since start; the hook, when set, runs after
// each of them (the benchmark counts and stops the loop with it).
extern uint64_t pollFrames;
extern void (*pollFrameHook)();

void GetData();
// GO: reads the panels, redraws the graph backgrounds and polls until STOP,
// framed as one transfer (refused while another runs).
void StartGo();
// Requests one data frame; bytesToRead 0 when an answer came that can be
// one (FrameAnswerAccepted), anything else counts as a missing frame.
// `quietAtLeastS` lengthens the quiet after the answer: a loop that pauses
// after each frame lets its pause be that quiet and waits once.
int GetDataFrame(double quietAtLeastS = 0.0);
// The line quiet after the answer; `watchLineOnly` for a program without a
// window, which waits on the line alone instead of running the event loop.
bool FrameAnswerAccepted(double quietAtLeastS = 0.0, bool watchLineOnly = false);
// Requests a data frame and decodes it into the measurement variables. An
// answer that may hide the head of a glued one (a head, or the start of one,
// inside it) is proven first: by the next answer coming whole with nothing
// between the two, or by a long silence. Such a frame is decoded one
// exchange late (the first takes two), and so are the frames after it while
// the line keeps answering. False when an answer failed or bytes came
// between two (bytesToRead tells how); an unproven frame goes with them.
bool ReceiveFrame(double quietAtLeastS = 0.0);
// ReceiveFrame in two halves, for a loop that does other work while the
// answer is on its way: the request leaves, and its answer is taken later.
void RequestFrame();
bool TakeRequestedFrame(double quietAtLeastS = 0.0, bool watchLineOnly = false);
// Timer when the frame decoded last came off the line.
double TakenFrameArrival();
// Its wall-clock time in milliseconds since the epoch (now, before any frame).
long long TakenFrameMsecs();
// Decodes a frame the last answer proved but no take gave out yet (a loop
// that ends); false when there is none, or it is old.
bool TakeProvenFrame();
void CopyDatatoVars();
// A frame's data (TakeFrameData: the trigger flag taken off the group word,
// the history buffers) and its displays on the data panel and the big
// displays (ShowPanelData); SetPanelData does both.
void SetPanelData();
void TakeFrameData();
// The trigger flag taken off the group word into dataTrigger: all that a
// frame needs where no graph follows it.
void TakeTriggerFlag();
void ShowPanelData();
// V-No., GROUP and the numbers stay blank until the first frame arrives.
void ShowNoFrameYet();
// A polling or recording loop shows at most forty frames a second, with the
// calibration panel's bars and the graphs: a frame that follows the last one
// shown sooner is held back (it is in the history buffers all the same) and
// the displays catch up with the next frame; ShowHeldFrame shows a held-back
// frame at once, for a loop that ends or waits in vain.
void ShowFrameWhenDue();
void ShowHeldFrame();
// The calibration panel's raw bars and RAW DELTA follow every frame;
// deltaraw is the frame's spread of the raw channels, largest minus smallest.
extern uint16_t deltaraw;
void SetPanelCalibData();

// History buffers: the last 100 samples, interleaved, oldest first.
extern double rawBuf[600];
extern double intBuf[300];
extern double gnBuf[300];
extern int16_t ulint, llint, ulgn, llgn;
extern uint16_t source;

void InitGraphBuffers();
void ShowGraph();
void ShowGraphData2();
void InitGraphs();
void InitGraphInt2();
// The taught rows as tolerance circles in their colours, on an X/Y graph of
// the data panel.
void PlotToleranceCircles(int graph);
void DispVis();
int Shift(const double *in, int n, int k, double *out);
int Copy1D(const double *in, int n, double *out);

// Three-sides view.
void InitP3SidesPanel();
// Shows the three-sides view, placed beside the main window when it opens.
void ShowP3SidesPanel();
// The side of the three-sides view's square graphs when the view must fit
// an area of that size with that many rows: as designed, or smaller.
int ThreeSidesGraphSide(int rows, int areaHeight, int areaWidth);
// Deletes the taught vectors from the six projection graphs.
void DeleteProjectionPlots(int refresh);
// The taught vectors as tolerance circles in the six projections; part of
// InitGraphs in the calculation modes above 1.
void DrawTaughtVectors3Sides();
void ShowGraph3SidesView();
