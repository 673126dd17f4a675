// Teaching into the vector teach table: TEACH DATA TO with its default
// tolerances, apply-from-all and reset-table.
#include "teach/TeachTable.h"

#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "live/Live.h"
#include "uir_ids.h"

#include <algorithm>
#include <initializer_list>

namespace {
// Cells marked — in a layout hold this.
constexpr uint16_t kSpare = 1;

// Default tolerances of TEACH DATA TO.
struct TeachTolerances {
    uint16_t vector;    // CTO, siTO or TOL
    uint16_t intensity; // ITO of the X/Y modes, and GTO
    uint16_t mto;       // MTO of the s/i modes
};

TeachTolerances DefaultTolerances(int evalmode, int pmode) {
    const bool wide = evalmode == 1 || evalmode == 2;
    TeachTolerances t{};
    t.vector = evalmode == 1 ? 200 : evalmode == 2 ? 40 : 100;
    t.intensity = wide ? 200 : 100;
    t.mto = pmode == 1 ? (wide ? 200 : 100) : (wide ? 100 : 50);
    return t;
}

void TeachCells(int calcmode, int evalmode, int pmode, uint16_t intensity, uint16_t gn,
                uint16_t cells[7]) {
    const TeachTolerances t = DefaultTolerances(evalmode, pmode);
    const uint16_t ito = calcmode % 2 == 1 ? t.mto : t.intensity;
    const uint16_t gto = t.intensity;
    auto put = [cells](std::initializer_list<uint16_t> columns3to7) {
        std::copy(columns3to7.begin(), columns3to7.end(), cells + 2);
    };
    switch (LayoutOf(calcmode)) {
    case 0:
        put({t.vector, intensity, ito, gn, gto});
        break;
    case 1:
        put({intensity, t.vector, gn, gto, kSpare});
        break;
    case 2:
        put({gn, t.vector, intensity, ito, kSpare});
        break;
    case 3:
        put({intensity, gn, t.vector, kSpare, kSpare});
        break;
    default: // no layout: the row keeps what it had beyond the pair
        break;
    }
}
} // namespace

int TeachDataTo() {
    // What is taught is what the operator sees, every value from the one
    // frame shown: the newest frame received may not be on screen yet.
    dataX = shownFrame.x;
    dataY = shownFrame.y;
    dataGn = shownFrame.gn;
    const uint16_t intensity = shownFrame.intensity;
    const int colour = shownFrame.rgb;
    uint16_t r = 0;
    GetCtrlVal(ttpanel, TTP_EditNo, &r);
    if (r >= anzVec) return -1;
    const int row = r + 1;

    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    GetCtrlVal(parapanel, PARAP_Evalmode, &evalmode);
    GetCtrlVal(parapanel, PARAP_EditPmode, &pmode);

    uint16_t cells[7];
    for (int c = 0; c < 7; ++c)
        GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c + 1, row), &cells[c]);
    cells[0] = dataX;
    cells[1] = dataY;
    TeachCells(calcmode, evalmode, pmode, intensity, dataGn, cells);
    for (int c = 0; c < 7; ++c)
        SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c + 1, row), int(cells[c]));

    int inc = 0;
    GetCtrlVal(ttpanel, TTP_RadioInc, &inc);
    if (inc == 1 && r < anzVec - 1) SetCtrlVal(ttpanel, TTP_EditNo, int(r) + 1);

    int automatic = 0;
    GetCtrlVal(tapanel, TAP_EditSetColor, &automatic);
    if (automatic == 1) {
        tolvanearr[r] = colour;
        SetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(8, row), ATTR_TEXT_BGCOLOR, colour);
        SetTableCellAttribute(tapanel, TAP_GridSpec, MakePoint(2, row), ATTR_TEXT_BGCOLOR, colour);
        SetTableCellAttribute(grouppanel, PGROUP_EditGridGroups, MakePoint(2, row),
                              ATTR_TEXT_BGCOLOR, colour);
    }
    return r;
}

void ApplyFromAll() {
    session::poll = 0;
    GetPanelValues();
    InitGraphs();
    PlotToleranceCircles(DATAP_GraphData1);
}

void ResetTable() {
    SetCtrlVal(ttpanel, TTP_EditNo, 0);
    for (int n = 1; n <= anzVec; ++n)
        for (int c = 1; c <= 7; ++c)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), int(kSpare));
    for (int graph :
         {DATAP_GraphData1, DATAP_GraphData2, DATAP_GraphData2__IntBar, DATAP_GraphData2__GnBar})
        DeleteGraphPlot(datapanel, graph, -1, VAL_IMMEDIATE_DRAW);
    DeleteProjectionPlots(VAL_IMMEDIATE_DRAW);
}

TeachTableCopy CopyTeachTable() {
    TeachTableCopy copy{};
    for (int n = 1; n <= anzVec; ++n) {
        for (int c = 1; c <= 7; ++c)
            GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), &copy.cells[n - 1][c - 1]);
        copy.colors[n - 1] = tolvanearr[n - 1];
    }
    GetCtrlVal(ttpanel, TTP_EditNo, &copy.no);
    GetCtrlVal(parapanel, PARAP_Calcmode, &copy.calcmode);
    return copy;
}

void RestoreTeachTable(const TeachTableCopy &copy) {
    int shownMode = 0;
    GetCtrlVal(parapanel, PARAP_Calcmode, &shownMode);
    if (copy.calcmode != shownMode) {
        // The cells are laid out for the mode they were in: the mode comes
        // back with them, and the panels follow it as after a load.
        GetPanelValues();
        for (int r = 0; r < anzVec; ++r)
            std::copy(std::begin(copy.cells[r]), std::end(copy.cells[r]), ctt[r]);
        calcmode = uint16_t(copy.calcmode);
        RefreshPanelsAfterLoad();
    } else {
        for (int n = 1; n <= anzVec; ++n)
            for (int c = 1; c <= 7; ++c)
                SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n),
                                int(copy.cells[n - 1][c - 1]));
    }
    for (int r = 0; r < anzVec; ++r)
        tolvanearr[r] = copy.colors[r];
    ApplyRowColors();
    SetCtrlVal(ttpanel, TTP_EditNo, copy.no);
}

TableUndoPoint::TableUndoPoint(int layoutMode) : m_before(CopyTeachTable()) {
    if (layoutMode >= 0) m_before.calcmode = layoutMode;
}

TableUndoPoint::~TableUndoPoint() {
    if (CopyTeachTable() == m_before) return;
    PushTableUndo(m_before);
    NoteTableEdit();
    ShowTableUndo();
}

void ShowTableUndo() {
    SetCtrlAttribute(ttpanel, TTP_ButtonUndo, ATTR_DIMMED, TableUndoDepth() == 0 ? 1 : 0);
}

QString InactiveRowNote(int row) {
    GetCtrlVal(parapanel, PARAP_EditMaxcolNo, &maxcolno);
    if (row < 0 || row < maxcolno) return QString();
    return QStringLiteral("row %1 lies beyond MAXCOL-No. %2: the sensor will not check it until "
                          "MAXCOL-No. is raised")
        .arg(row)
        .arg(maxcolno);
}
