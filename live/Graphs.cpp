// History buffers and the graphs of the data panel: strip charts of the raw
// channels, INT and GN, the full-range X/Y graph, and the combined view of
// the zoomed X/Y graph with the INT and GN bar graphs.
#include "live/Live.h"

#include "core/HelpTexts.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "live/GraphMath.h"
#include "live/ShownCache.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <algorithm>
#include <limits>

double rawBuf[600];
double intBuf[300];
double gnBuf[300];
int16_t ulint, llint, ulgn, llgn;
uint16_t source;

namespace {
// History not yet measured is no number: the strip charts leave it empty
// instead of drawing lines at 0.
const bool historyUnmeasured = [] {
    for (double *buffer : {rawBuf, intBuf, gnBuf})
        std::fill(buffer, buffer + (buffer == rawBuf ? 600 : 300),
                  std::numeric_limits<double>::quiet_NaN());
    return true;
}();

// The strip charts show the 100 buffered samples and the point before them.
constexpr int kPointsPerScreen = 101;
constexpr int kFullCircle = 3600; // tenths of a degree
constexpr int kRampColor = MakeColor(160, 160, 160);
constexpr int kIntBandColor = MakeColor(64, 128, 128);
constexpr int kGnBandColor = MakeColor(255, 128, 0);
// The bar graphs' vertical axis runs 0..100; the cursor sits in the middle.
constexpr double kBandHeight = 100.0;
constexpr double kBarCursorY = 50.0;

void ReadCalcmode() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
}

// The limits of the teach-table row chosen in the No. field, read from the
// table control so that edits show in the very next frame.
void ReadToleranceLimits() {
    ReadCalcmode();
    const graphmath::CalcColumns c = graphmath::ColumnsOf(calcmode);
    int n = 0;
    GetCtrlVal(ttpanel, TTP_EditNo, &n);
    const int row = std::clamp(n, 0, int(anzVec) - 1) + 1;
    unsigned short v = 0, t = 0;
    GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c.intVal + 1, row), &v);
    GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c.intTol + 1, row), &t);
    const graphmath::Limits li = graphmath::ToleranceLimits(v, t);
    GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c.gnVal + 1, row), &v);
    GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c.gnTol + 1, row), &t);
    const graphmath::Limits lg = graphmath::ToleranceLimits(v, t);
    ulint = li.upper;
    llint = li.lower;
    ulgn = lg.upper;
    llgn = lg.lower;
}

void PlotBuffer(int control, const double *buffer, int count) {
    shown::SetAttr(datapanel, control, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    PlotStripChart(datapanel, control, buffer, count, 0, 0, VAL_DOUBLE);
}

void Show(int control, bool visible) {
    SetCtrlAttribute(datapanel, control, ATTR_VISIBLE, visible ? 1 : 0);
}

void ShowRawDisplays(bool visible) {
    for (int c : {DATAP_DispRaw__R, DATAP_DispRaw__G, DATAP_DispRaw__B, DATAP_DispRaw__Ref,
                  DATAP_DispRaw__Dir, DATAP_DispRaw__Dif})
        Show(c, visible);
    for (int c : {DATAP_DispX, DATAP_DispY, DATAP_DispINT, DATAP_DispGN})
        Show(c, !visible);
}

// Shows exactly one graph area: the given controls, all others hidden.
void ShowGraphsOnly(std::initializer_list<int> visible) {
    for (int c : {DATAP_GraphRGB, DATAP_GraphData1, DATAP_GraphRGB__Int, DATAP_GraphRGB__Gn,
                  DATAP_GraphData2, DATAP_GraphData2__IntBar, DATAP_GraphData2__GnBar})
        Show(c, std::find(visible.begin(), visible.end(), c) != visible.end());
}
} // namespace

void InitGraphBuffers() {
    ReadToleranceLimits();

    Shift(rawBuf, 600, -6, rawBuf);
    rawBuf[594] = dataR;
    rawBuf[595] = dataG;
    rawBuf[596] = dataB;
    rawBuf[597] = dataRef;
    rawBuf[598] = dataDir;
    rawBuf[599] = dataDif;

    Shift(intBuf, 300, -3, intBuf);
    intBuf[297] = dataInt;
    intBuf[298] = ulint;
    intBuf[299] = llint;

    Shift(gnBuf, 300, -3, gnBuf);
    gnBuf[297] = dataGn;
    gnBuf[298] = ulgn;
    gnBuf[299] = llgn;
}

void ShowGraph() {
    switch (source) {
    case 0:
        PlotBuffer(DATAP_GraphRGB, rawBuf, 600);
        break;
    case 1:
        shown::SetCursor(datapanel, DATAP_GraphData1, 1, dataX, dataY);
        break;
    case 2:
        PlotBuffer(DATAP_GraphRGB__Int, intBuf, 300);
        break;
    case 3:
        PlotBuffer(DATAP_GraphRGB__Gn, gnBuf, 300);
        break;
    case 4:
        ShowGraphData2();
        break;
    default:
        break;
    }
    if (calcmode > 1) ShowGraph3SidesView();
}

void ShowGraphData2() {
    const graphmath::AxisPair axes =
        graphmath::CombinedViewAxes(ctt, anzVec, calcmode, dataX, dataY);
    shown::SetAxis(datapanel, DATAP_GraphData2, VAL_XAXIS, axes.x.min, axes.x.max);
    shown::SetAxis(datapanel, DATAP_GraphData2, VAL_LEFT_YAXIS, axes.y.min, axes.y.max);
    shown::SetCursor(datapanel, DATAP_GraphData2, 1, dataX, dataY);
    shown::SetCursor(datapanel, DATAP_GraphData2__IntBar, 1, dataInt, kBarCursorY);
    shown::SetCursor(datapanel, DATAP_GraphData2__GnBar, 1, dataGn, kBarCursorY);
}

void InitGraphInt2() {
    ReadToleranceLimits();
    DeleteGraphPlot(datapanel, DATAP_GraphData2__IntBar, -1, VAL_DELAYED_DRAW);
    PlotRectangle(datapanel, DATAP_GraphData2__IntBar, llint, 0.0, ulint, kBandHeight,
                  kIntBandColor, kIntBandColor);
    DeleteGraphPlot(datapanel, DATAP_GraphData2__GnBar, -1, VAL_DELAYED_DRAW);
    PlotRectangle(datapanel, DATAP_GraphData2__GnBar, llgn, 0.0, ulgn, kBandHeight, kGnBandColor,
                  kGnBandColor);
}

void InitGraphs() {
    shown::Reset();
    InitGraphInt2();

    DeleteGraphPlot(datapanel, DATAP_GraphData1, -1, VAL_DELAYED_DRAW);
    DeleteGraphPlot(datapanel, DATAP_GraphData2, -1, VAL_DELAYED_DRAW);
    DeleteProjectionPlots(VAL_DELAYED_DRAW);

    ReadCalcmode();
    if (calcmode % 2 == 0)
        PlotXY(datapanel, DATAP_GraphData1, xramp, yramp, 4096, VAL_THIN_LINE, kRampColor);

    if (calcmode > 1) DrawTaughtVectors3Sides();

    PlotToleranceCircles(DATAP_GraphData2);
}

void PlotToleranceCircles(int graph) {
    const int tol = graphmath::ColumnsOf(calcmode).xyTol;
    for (int i = 0; i < anzVec; ++i) {
        const double x = ctt[i][0];
        const double y = ctt[i][1];
        const double t = ctt[i][tol];
        const int color = tolvanearr[i];
        // Three slightly offset circles draw one thick line.
        PlotArc(datapanel, graph, x - t, y - t, x + t, y + t, 0, kFullCircle, color,
                VAL_TRANSPARENT);
        PlotArc(datapanel, graph, x - t + 0.025, y - t + 0.025, x + t + 0.025, y + t + 0.025, 0,
                kFullCircle, color, VAL_TRANSPARENT);
        PlotArc(datapanel, graph, x - t + 0.05, y - t + 0.05, x + t + 0.005, y + t + 0.005, 0,
                kFullCircle, color, VAL_TRANSPARENT);
    }
}

void DispVis() {
    GetCtrlVal(datapanel, DATAP_SelectSource, &source);
    switch (source) {
    case 0:
        ShowRawDisplays(true);
        ShowGraphsOnly({DATAP_GraphRGB});
        break;
    case 1:
        ShowRawDisplays(false);
        ShowGraphsOnly({DATAP_GraphData1});
        break;
    case 2:
        ShowRawDisplays(false);
        ShowGraphsOnly({DATAP_GraphRGB__Int});
        break;
    case 3:
        ShowRawDisplays(false);
        ShowGraphsOnly({DATAP_GraphRGB__Gn});
        break;
    case 4:
        ReadCalcmode();
        if (calcmode > 1) ShowP3SidesPanel();
        ShowRawDisplays(false);
        ShowGraphsOnly({DATAP_GraphData2, DATAP_GraphData2__IntBar, DATAP_GraphData2__GnBar});
        break;
    default:
        break;
    }
}

int CBF_SelectSource(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoSelectSource) || event != EVENT_COMMIT) return 0;
    DispVis();
    return 0;
}
