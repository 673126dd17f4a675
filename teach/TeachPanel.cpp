// The mean-value teach panel: opening it (with live polling when none runs),
// its labels per calculation and evaluation mode, teaching the mean into the
// vector teach table, and the callbacks of its controls.
#include "teach/MeanValueTeach.h"
#include "teach/TeachTable.h"

#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "live/Live.h"
#include "uir_ids.h"

#include <QString>
#include <QStringList>
#include <algorithm>

namespace {
constexpr int kResetBusyColor = 0xFF0000;
constexpr int kButtonColor = 0xE0E0E0;
// The pair tolerance the sensor's evaluation mode 2 works with.
constexpr uint16_t kEvalmode2PairTolerance = 40;

// X, Y, INT and GN are 12-bit values (0..4095). A tolerance above an eighth
// of that range takes in a large part of what the sensor can see: an X/Y
// circle of radius 512 already covers about a tenth of all colours. Such a
// tolerance comes from frames that straddled a change of target, not from one
// colour, so TEACH TO TABLE asks first.
constexpr int kWideTolerance = 512;

enum TeachWith { kWithValue = 0, kWithDeviation = 1, kWithBoth = 2, kNoChange = 3 };

// Target columns of row r+1 per layout; 0 where the layout has no such cell.
struct TargetColumns {
    int pair, intensity, ito, gn, gto;
};
constexpr TargetColumns kTargets[4] = {
    {3, 4, 5, 6, 7}, // modes 0, 1
    {4, 3, 0, 5, 6}, // modes 2, 3
    {4, 5, 6, 3, 0}, // modes 4, 5
    {5, 3, 0, 4, 0}, // modes 6, 7
};

void SetRingItems(int control, const QString &item0, const QString &item1, const QString &item2) {
    ReplaceListItem(teachpanel, control, 0, item0, 0);
    ReplaceListItem(teachpanel, control, 1, item1, 1);
    ReplaceListItem(teachpanel, control, 2, item2, 2);
}

void SetGroupVisible(int ring, int value, int display, bool visible) {
    for (int control : {ring, value, display})
        SetCtrlAttribute(teachpanel, control, ATTR_VISIBLE, visible ? 1 : 0);
}

void LabelPair(int mode) {
    static const char *const kDistance[8] = {
        "d (X/Y)",    "d (s/i)",    "d (X/Y/INT)",    "d (s/i/M)",
        "d (X/Y/GN)", "d (s/i/GN)", "d (X/Y/INT/GN)", "d (s/i/M/GN)",
    };
    const QString distance = kDistance[mode];
    const QString tol = mode == 0 ? "CTO" : mode == 1 ? "siTO" : "TOL";
    // Mode 6's sum is shortened to fit the ring.
    const QString sum = mode == 6 ? distance + "+VAL TOL" : distance + "+VALUE " + tol;
    SetCtrlAttribute(teachpanel, TEACHP_DispTpMaxDeltaXY, ATTR_LABEL_TEXT, distance);
    SetCtrlAttribute(teachpanel, TEACHP_EditTpTeachCtoWith, ATTR_LABEL_TEXT,
                     "TEACH " + tol + " WITH");
    SetCtrlAttribute(teachpanel, TEACHP_EditTpValueCto, ATTR_LABEL_TEXT, "VALUE " + tol);
    SetRingItems(TEACHP_EditTpTeachCtoWith, "VALUE " + tol, distance, sum);
}

void LabelIntensity(bool si) {
    const QString d = si ? "d M" : "d INT";
    const QString tol = si ? "MTO" : "ITO";
    SetCtrlAttribute(teachpanel, TEACHP_DispTpMaxDeltaInt, ATTR_LABEL_TEXT, d);
    SetCtrlAttribute(teachpanel, TEACHP_EditTpTeachItoWith, ATTR_LABEL_TEXT,
                     "TEACH " + tol + " WITH");
    SetCtrlAttribute(teachpanel, TEACHP_EditTpValueIto, ATTR_LABEL_TEXT, "VALUE " + tol);
    SetRingItems(TEACHP_EditTpTeachItoWith, "VALUE " + tol, d, d + "+VALUE " + tol);
}

void LabelGloss() {
    SetCtrlAttribute(teachpanel, TEACHP_EditTpTeachGtoWith, ATTR_LABEL_TEXT, "TEACH GTO WITH");
    SetCtrlAttribute(teachpanel, TEACHP_EditTpValueGto, ATTR_LABEL_TEXT, "VALUE GTO");
    SetRingItems(TEACHP_EditTpTeachGtoWith, "VALUE GTO", "d GN", "d GN+VALUE GTO");
}

int Val(int control) {
    int v = 0;
    GetCtrlVal(teachpanel, control, &v);
    return v;
}

// The tolerance a ring asks for; `current` is what the row holds now.
uint16_t Tolerance(int ring, int valueField, int deviationDisplay, uint16_t current) {
    const int value = Val(valueField);
    const int deviation = Val(deviationDisplay);
    switch (Val(ring)) {
    case kWithValue:
        return uint16_t(value);
    case kWithDeviation:
        return uint16_t(deviation);
    case kWithBoth:
        // Saturated: a wrapped sum would teach a tiny tolerance.
        return uint16_t(std::min(value + deviation, 65535));
    default:
        return current;
    }
}
} // namespace

namespace {
// The tolerances TEACH TO TABLE would write above the bound, by name
// ("CTO 2117"); rings set to keep the row's value are left out.
QStringList WideTolerances() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    GetCtrlVal(parapanel, PARAP_Evalmode, &evalmode);
    const int layout = LayoutOf(calcmode);
    if (layout < 0) return {};
    const TargetColumns &to = kTargets[layout];
    struct Taught {
        const char *name;
        bool used;
        int ring, value, deviation;
    } const taught[] = {
        {"CTO", evalmode != 2, TEACHP_EditTpTeachCtoWith, TEACHP_EditTpValueCto,
         TEACHP_DispTpMaxDeltaXY},
        {"ITO", to.ito > 0, TEACHP_EditTpTeachItoWith, TEACHP_EditTpValueIto,
         TEACHP_DispTpMaxDeltaInt},
        {"GTO", to.gto > 0, TEACHP_EditTpTeachGtoWith, TEACHP_EditTpValueGto,
         TEACHP_DispTpMaxDeltaGn},
    };
    QStringList wide;
    for (const Taught &t : taught) {
        if (!t.used || Val(t.ring) == kNoChange) continue;
        const uint16_t tolerance = Tolerance(t.ring, t.value, t.deviation, 0);
        if (tolerance > kWideTolerance)
            wide << QStringLiteral("%1 %2").arg(QLatin1String(t.name)).arg(tolerance);
    }
    return wide;
}

bool WideToleranceConfirmed(int row) {
    const QStringList wide = WideTolerances();
    if (wide.isEmpty()) return true;
    return ConfirmPopup(
               "ATTENTION!",
               QStringLiteral("The captured frames spread widely: row %1 would be taught %2, "
                              "above %3, an eighth of the sensor's range 0..4095. The row "
                              "would then take in a large part of all colours. Check that "
                              "all captured frames show the same target (UNDO removes the "
                              "last one).\n\nTeach these tolerances anyway?")
                   .arg(row)
                   .arg(wide.join(QStringLiteral(" and ")))
                   .arg(kWideTolerance)) == 1;
}

} // namespace

void InitTeachPanel() {
    GetCtrlVal(parapanel, PARAP_Evalmode, &evalmode);
    const int dimPair = evalmode == 2 ? 1 : 0;
    SetCtrlAttribute(teachpanel, TEACHP_EditTpTeachCtoWith, ATTR_DIMMED, dimPair);
    SetCtrlAttribute(teachpanel, TEACHP_EditTpValueCto, ATTR_DIMMED, dimPair);

    const int mode = calcmode;
    if (LayoutOf(mode) < 0) return;
    const bool si = mode % 2 == 1;
    for (int table : {TEACHP_GridTpValues, TEACHP_GridTpMean}) {
        SetTableColumnAttribute(teachpanel, table, 4, ATTR_LABEL_TEXT, si ? "s" : "X");
        SetTableColumnAttribute(teachpanel, table, 5, ATTR_LABEL_TEXT, si ? "i" : "Y");
        SetTableColumnAttribute(teachpanel, table, 6, ATTR_LABEL_TEXT, si ? "M" : "INT");
    }
    LabelPair(mode);

    const bool intensityShown = mode == 0 || mode == 1 || mode == 4 || mode == 5;
    if (intensityShown) LabelIntensity(si);
    SetGroupVisible(TEACHP_EditTpTeachItoWith, TEACHP_EditTpValueIto, TEACHP_DispTpMaxDeltaInt,
                    intensityShown);
    if (mode == 2) LabelGloss();
    SetGroupVisible(TEACHP_EditTpTeachGtoWith, TEACHP_EditTpValueGto, TEACHP_DispTpMaxDeltaGn,
                    mode <= 3);
}

void TeachToTable() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    GetCtrlVal(parapanel, PARAP_Evalmode, &evalmode);
    const int layout = LayoutOf(calcmode);
    const int r = Val(TEACHP_EditTpRowNo);
    if (layout < 0 || r < 0 || r >= anzVec) return;
    const int row = r + 1;
    const TargetColumns &to = kTargets[layout];

    uint16_t mean[8] = {};
    for (int c = 4; c <= 7; ++c)
        GetTableCellVal(teachpanel, TEACHP_GridTpMean, MakePoint(c, 1), &mean[c]);
    auto cell = [row](int column) {
        uint16_t v = 0;
        GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(column, row), &v);
        return v;
    };
    auto put = [row](int column, uint16_t v) {
        if (column > 0) SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(column, row), int(v));
    };

    const uint16_t pair = evalmode == 2
                              ? kEvalmode2PairTolerance
                              : Tolerance(TEACHP_EditTpTeachCtoWith, TEACHP_EditTpValueCto,
                                          TEACHP_DispTpMaxDeltaXY, cell(to.pair));
    const uint16_t ito = to.ito > 0 ? Tolerance(TEACHP_EditTpTeachItoWith, TEACHP_EditTpValueIto,
                                                TEACHP_DispTpMaxDeltaInt, cell(to.ito))
                                    : 0;
    const uint16_t gto = to.gto > 0 ? Tolerance(TEACHP_EditTpTeachGtoWith, TEACHP_EditTpValueGto,
                                                TEACHP_DispTpMaxDeltaGn, cell(to.gto))
                                    : 0;

    put(1, mean[4]);
    put(2, mean[5]);
    put(to.pair, pair);
    put(to.intensity, mean[6]);
    put(to.gn, mean[7]);
    put(to.ito, ito);
    put(to.gto, gto);
}

// ---- callbacks

namespace {
// The operator watches V-No, the bars and the graph while capturing. The
// panel opens beside the main window when the screen has room; else over
// the navigation side, below V-No and the measured values and above the
// transfer buttons, leaving the graph's newest part and the status line in
// view. Where the operator moves it afterwards, it stays.
void PlaceTeachPanel() {
    int shown = 0, h = 0, w = 0;
    GetPanelAttribute(teachpanel, ATTR_VISIBLE, &shown);
    if (shown) return;
    GetPanelAttribute(teachpanel, ATTR_HEIGHT, &h);
    GetPanelAttribute(teachpanel, ATTR_WIDTH, &w);
    if (PanelFitsBeside(mainpanel, h, w) == 1) {
        PlacePanelBeside(teachpanel, mainpanel);
        return;
    }
    PlaceToolPanel(teachpanel);
}
} // namespace

// Capturing needs fresh frames: the panel starts live polling unless a loop
// already runs, and that loop runs until STOP.
int CBF_ButtonTeachMeanVal(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTeachMeanVal) || event != EVENT_COMMIT) return 0;
    PlaceTeachPanel();
    DisplayPanel(teachpanel);
    InitTeachPanel();
    if (session::poll == 0) StartGo();
    return 0;
}

int CBF_TEACHP(int, int, int event, void *, int, int) {
    // Hiding keeps the captured frames and leaves polling running.
    if (event == EVENT_CLOSE) HidePanel(teachpanel);
    return 0;
}

int CBF_ButtonTpClose(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonClosePanel) || event != EVENT_COMMIT) return 0;
    HidePanel(teachpanel);
    return 0;
}

int CBF_ButtonTpCapture(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTpCapture) || event != EVENT_COMMIT) return 0;
    CaptureFrame();
    return 0;
}

int CBF_ButtonTpUndo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTpUndo) || event != EVENT_COMMIT) return 0;
    UndoCapture();
    return 0;
}

int CBF_ButtonTpResetTable(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTpResetTable) || event != EVENT_COMMIT) return 0;
    SetCtrlAttribute(teachpanel, TEACHP_ButtonTpResetTable, ATTR_CMD_BUTTON_COLOR, kResetBusyColor);
    ProcessSystemEvents();
    ResetTpTable();
    SetCtrlAttribute(teachpanel, TEACHP_ButtonTpResetTable, ATTR_CMD_BUTTON_COLOR, kButtonColor);
    return 0;
}

// A hand-edited cell counts like a captured one.
int CBF_GridTpValues(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoGridTpValues) || event != EVENT_VAL_CHANGED) return 0;
    CalcMeanValues();
    return 0;
}

int CBF_ButtonTpTeachToTable(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTpTeachToTableWide) || event != EVENT_COMMIT)
        return 0;
    if (!WideToleranceConfirmed(Val(TEACHP_EditTpRowNo))) {
        SetLinkNote(QStringLiteral("TEACH TO TABLE cancelled: the table is unchanged"));
        return 0;
    }
    {
        TableUndoPoint undo;
        TeachToTable();
    }
    GetPanelValues();
    InitGraphs();
    // ROW No. does not advance: the row written is said, and how to get
    // the row it replaced back.
    const int row = Val(TEACHP_EditTpRowNo);
    if (row < 0 || row >= anzVec) return 0;
    QString note = QStringLiteral("mean values taught to row %1 (UNDO on the teach table, "
                                  "Ctrl+Z, restores the row)")
                       .arg(row);
    const QString inactive = InactiveRowNote(row);
    if (!inactive.isEmpty()) note += "; " + inactive;
    SetLinkNote(note);
    return 0;
}

int CBF_GridTpMean(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoGridTpMean);
}
int CBF_DispTpCounter(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispTpCounter);
}
int CBF_DispTpMaxDeltaXY(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispMaxDeltaXY);
}
int CBF_DispTpMaxDeltaInt(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispTpMaxDeltaInt);
}
int CBF_DispTpMaxDeltaGn(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispTpMaxDeltaGn);
}
int CBF_EditTpTeachCtoWith(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpTeachCtoWith);
}
int CBF_EditTpTeachItoWith(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpTeachItoWith);
}
int CBF_EditTpTeachGtoWith(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpTeachGtoWith);
}
int CBF_EditTpValueCto(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpValueCto);
}
int CBF_EditTpValueIto(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpValueIto);
}
int CBF_EditTpValueGto(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpValueGto);
}
int CBF_EditTpRowNo(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoEditTpRowNo);
}
