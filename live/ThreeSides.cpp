// The three-sides view: the taught vectors as tolerance circles projected
// onto pairs of coordinates, the current measurement as a cursor in each
// projection, and a trend chart of the coordinate judged on its own.
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

namespace {
constexpr int kXY = P3SIDESVIEW_Graph3SidesView__XY;
constexpr int kXInt = P3SIDESVIEW_Graph3SidesView__XInt;
constexpr int kYInt = P3SIDESVIEW_Graph3SidesView__YInt;
constexpr int kXGn = P3SIDESVIEW_Graph3SidesView__XGn;
constexpr int kYGn = P3SIDESVIEW_Graph3SidesView__YGn;
constexpr int kIntGn = P3SIDESVIEW_Graph3SidesView__IntGn;
constexpr int kIntTrend = P3SIDESVIEW_Graph3SidesView__IntTrend;
constexpr int kGnTrend = P3SIDESVIEW_Graph3SidesView__GnTrend;

constexpr int kPointsPerScreen = 101;
constexpr int kFullCircle = 3600;

enum Coord { kX, kY, kInt, kGn };

// A projection: its graph and the coordinates on its two axes.
struct Projection {
    int control;
    Coord horizontal;
    Coord vertical;
    const char *xyLabel; // X/Y modes (even)
    const char *siLabel; // s/i modes (odd)
};

// In the order their axes are set each frame.
constexpr Projection kProjections[] = {
    {kXY, kX, kY, "X/Y", "s/i"},       {kXInt, kX, kInt, "X/INT", "s/M"},
    {kXGn, kX, kGn, "X/GN", "s/GN"},   {kYGn, kY, kGn, "Y/GN", "i/GN"},
    {kYInt, kY, kInt, "Y/INT", "i/M"}, {kIntGn, kInt, kGn, "INT/GN", "M/GN"},
};

} // namespace

void DeleteProjectionPlots(int refresh) {
    for (const Projection &p : kProjections)
        DeleteGraphPlot(p3sidesview, p.control, -1, refresh);
}

namespace {
bool IsThreeSidesMode(int mode) {
    return mode >= 2 && mode <= 7;
}

// Graphs shown besides the XY graph, per pair of calculation modes.
bool VisibleIn(int control, int mode) {
    switch (control) {
    case kXY:
        return true;
    case kXInt:
    case kYInt:
        return mode == 2 || mode == 3 || mode == 6 || mode == 7;
    case kXGn:
    case kYGn:
        return mode >= 4;
    case kIntGn:
        return mode == 6 || mode == 7;
    case kIntTrend:
        return mode == 4 || mode == 5;
    case kGnTrend:
        return mode == 2 || mode == 3;
    default:
        return false;
    }
}

int Pick(const int (&values)[4], Coord c) {
    return values[c];
}
} // namespace

namespace {
// The graphs' places in the panel design, in graph widths and heights; X-GN
// and Y-GN go to the last row of the mode.
struct GridPlace {
    int control;
    int column;
    int row; // -1: the last row
};
constexpr GridPlace kGrid[] = {
    {kXY, 0, 0},   {kYInt, 1, 0}, {kXInt, 0, 1},     {kIntGn, 1, 1},
    {kXGn, 0, -1}, {kYGn, 1, -1}, {kIntTrend, 1, 0}, {kGnTrend, 1, 1},
};
constexpr int kDesignGraph = 250; // the XY graph's side as designed
constexpr int kCloseWidth = 62;

int RowsOf(int mode) {
    return mode >= 6 ? 3 : 2;
}

// Lays the panel out as a grid of square graphs of the given side.
void LayOut(int side, int rows) {
    for (const GridPlace &g : kGrid) {
        SetCtrlAttribute(p3sidesview, g.control, ATTR_LEFT, g.column * side);
        SetCtrlAttribute(p3sidesview, g.control, ATTR_TOP, (g.row < 0 ? rows - 1 : g.row) * side);
        SetCtrlAttribute(p3sidesview, g.control, ATTR_WIDTH, side);
        SetCtrlAttribute(p3sidesview, g.control, ATTR_HEIGHT, side);
    }
    SetCtrlAttribute(p3sidesview, P3SIDESVIEW_Button3SidesClose, ATTR_LEFT,
                     2 * side - kCloseWidth - 2);
    SetCtrlAttribute(p3sidesview, P3SIDESVIEW_Button3SidesClose, ATTR_TOP, 2);
    SetPanelSize(p3sidesview, rows * side, 2 * side);
}
} // namespace

int ThreeSidesGraphSide(int rows, int areaHeight, int areaWidth) {
    return std::max(1, std::min({kDesignGraph, areaWidth / 2, areaHeight / rows}));
}

namespace {
// Sizes the panel for the current mode and, when it opens, places it:
// beside the main window when the screen has room; else in the data panel's
// graph area, made smaller to fit, so that the navigation, the transfer
// buttons, V-No and the status line stay in view.
void ArrangeP3SidesPanel(bool place) {
    const int rows = RowsOf(calcmode);
    if (PanelFitsBeside(mainpanel, rows * kDesignGraph, 2 * kDesignGraph) == 1) {
        LayOut(kDesignGraph, rows);
        if (place) PlacePanelBeside(p3sidesview, mainpanel);
        return;
    }
    // Sized for the column of the bars beside the graph, the one part of the
    // data panel the operator can spare while watching the three sides.
    int graphLeft = 0, graphTop = 0, graphWidth = 0, graphHeight = 0, panelHeight = 0;
    int h = 0, w = 0;
    GetCtrlAttribute(datapanel, DATAP_GraphRGB, ATTR_LEFT, &graphLeft);
    GetCtrlAttribute(datapanel, DATAP_GraphRGB, ATTR_TOP, &graphTop);
    GetCtrlAttribute(datapanel, DATAP_GraphRGB, ATTR_WIDTH, &graphWidth);
    GetCtrlAttribute(datapanel, DATAP_GraphRGB, ATTR_HEIGHT, &graphHeight);
    GetPanelAttribute(datapanel, ATTR_HEIGHT, &panelHeight);
    // The room inside the graph tells the window frame's size.
    PanelRoomOver(p3sidesview, datapanel, DATAP_GraphRGB, &h, &w);
    LayOut(ThreeSidesGraphSide(rows, panelHeight - graphTop - (graphHeight - h),
                               graphLeft - 8 - (graphWidth - w)),
           rows);
    if (place) PlaceToolPanel(p3sidesview);
}

bool P3SidesShown() {
    int shown = 0;
    GetPanelAttribute(p3sidesview, ATTR_VISIBLE, &shown);
    return shown != 0;
}
} // namespace

void ShowP3SidesPanel() {
    // Where the operator moves it after it opened, it stays.
    if (!P3SidesShown()) ArrangeP3SidesPanel(true);
    DisplayPanel(p3sidesview);
}

void InitP3SidesPanel() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    const int mode = calcmode;
    if (!IsThreeSidesMode(mode)) {
        HidePanel(p3sidesview);
        return;
    }

    for (int c : {kXInt, kYInt, kXGn, kYGn, kIntGn, kIntTrend, kGnTrend})
        SetCtrlAttribute(p3sidesview, c, ATTR_VISIBLE, VisibleIn(c, mode) ? 1 : 0);
    const bool siMode = mode % 2 == 1;
    for (const Projection &p : kProjections)
        if (VisibleIn(p.control, mode))
            SetCtrlAttribute(p3sidesview, p.control, ATTR_LABEL_TEXT,
                             QString::fromLatin1(siMode ? p.siLabel : p.xyLabel));
    if (VisibleIn(kIntTrend, mode))
        SetCtrlAttribute(p3sidesview, kIntTrend, ATTR_LABEL_TEXT,
                         QString::fromLatin1(siMode ? "M" : "INT"));

    // Open, it takes the new mode's rows where it stands.
    if (P3SidesShown()) ArrangeP3SidesPanel(false);
    ShowP3SidesPanel();
}

void DrawTaughtVectors3Sides() {
    const graphmath::CalcColumns c = graphmath::ColumnsOf(calcmode);
    for (int i = 0; i < anzVec; ++i) {
        const uint16_t *row = ctt[i];
        const int coord[4] = {row[0], row[1], row[c.intVal], row[c.gnVal]};
        const int t = row[c.xyTol];
        for (const Projection &p : kProjections) {
            const int a = Pick(coord, p.horizontal);
            const int b = Pick(coord, p.vertical);
            PlotArc(p3sidesview, p.control, a - t, b - t, a + t, b + t, 0, kFullCircle,
                    tolvanearr[i], VAL_TRANSPARENT);
        }
    }
}

void ShowGraph3SidesView() {
    const graphmath::ViewExtents e =
        graphmath::ThreeSidesExtents(ctt, anzVec, calcmode, dataX, dataY, dataInt, dataGn);
    const graphmath::Extent extents[4] = {e.x, e.y, e.intensity, e.gloss};
    const int measured[4] = {dataX, dataY, dataInt, dataGn};

    for (const Projection &p : kProjections) {
        const graphmath::AxisPair axes =
            graphmath::SquareAxes(extents[p.horizontal], extents[p.vertical]);
        shown::SetAxis(p3sidesview, p.control, VAL_XAXIS, axes.x.min, axes.x.max);
        shown::SetAxis(p3sidesview, p.control, VAL_LEFT_YAXIS, axes.y.min, axes.y.max);
    }

    const graphmath::Range intRange = graphmath::TrendRange(intBuf, 300);
    const graphmath::Range gnRange = graphmath::TrendRange(gnBuf, 300);
    shown::SetAxis(p3sidesview, kIntTrend, VAL_LEFT_YAXIS, intRange.min, intRange.max);
    shown::SetAxis(p3sidesview, kGnTrend, VAL_LEFT_YAXIS, gnRange.min, gnRange.max);

    for (const Projection &p : kProjections)
        shown::SetCursor(p3sidesview, p.control, 1, Pick(measured, p.horizontal),
                         Pick(measured, p.vertical));

    shown::SetAttr(p3sidesview, kIntTrend, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    PlotStripChart(p3sidesview, kIntTrend, intBuf, 300, 0, 0, VAL_DOUBLE);
    shown::SetAttr(p3sidesview, kGnTrend, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    PlotStripChart(p3sidesview, kGnTrend, gnBuf, 300, 0, 0, VAL_DOUBLE);
}

int CBF_Graph3SidesView(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoGraph3SidesView);
}

int CBF_P3SIDESVIEW(int panel, int, int event, void *, int eventData1, int) {
    if (event == EVENT_CLOSE || (event == EVENT_KEYPRESS && eventData1 == VAL_ESC_KEY)) {
        HidePanel(panel);
        return 1;
    }
    return 0;
}

int CBF_Button3SidesClose(int panel, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonClosePanel) || event != EVENT_COMMIT) return 0;
    HidePanel(panel);
    return 0;
}
