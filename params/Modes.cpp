// The operating modes: each reads its control into its variable and then
// enables, dims, shows, hides, relabels or forces the controls that depend on
// it. The calculation-mode change is the one edit sent to the sensor at once.
#include "params/Params.h"

#include "core/SensorData.h"

#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

namespace {
// Background of the teach-table column that evaluation mode 2 locks.
constexpr int kLockedColumnColor = 0xD0D0D0;

constexpr int kLampCtrls[5] = {DATAP_Lamp16, DATAP_Lamp8, DATAP_Lamp4, DATAP_Lamp2, DATAP_Lamp1};

// The calculation mode whose layout the teach table shows, -1 before the
// first InitCalcMode. The tolerance sorting needs the layout the cells are
// really in, which is this one even when a broken-off read left `calcmode`
// holding the sensor's mode.
int shownCalcmode = -1;

struct CalcModeLabels {
    const char *columns[7];
    const char *source1, *source2, *source4;
};

const CalcModeLabels kCalcModeLabels[8] = {
    {{"X", "Y", "CTO", "INT", "ITO", "GN", "GTO"}, "X/Y", "INT", "X/Y INT GN"},
    {{"s", "i", "siTO", "M", "MTO", "GN", "GTO"}, "s/i", "M", "s/i M GN"},
    {{"X", "Y", "INT", "TOL", "GN", "GTO", ""}, "X/Y", "INT", "X/Y/INT GN"},
    {{"s", "i", "M", "TOL", "GN", "GTO", ""}, "s/i", "M", "s/i/M GN"},
    {{"X", "Y", "GN", "TOL", "INT", "ITO", ""}, "X/Y", "INT", "X/Y/GN INT"},
    {{"s", "i", "GN", "TOL", "M", "MTO", ""}, "s/i", "M", "s/i/GN M"},
    {{"X", "Y", "INT", "GN", "TOL", "", ""}, "X/Y", "INT", "X/Y/INT/GN"},
    {{"s", "i", "M", "GN", "TOL", "", ""}, "s/i", "M", "s/i/M GN"},
};

void Dim(int panel, int control, int dimmed) {
    SetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
}

void Show(int panel, int control, int visible) {
    SetCtrlAttribute(panel, control, ATTR_VISIBLE, visible);
}

// The vector-tolerance column (CTO, siTO or TOL) of a layout, 0 for none.
int VectorToleranceColumn(int mode) {
    if (mode == 0 || mode == 1) return 3;
    if (mode >= 2 && mode <= 5) return 4;
    if (mode == 6 || mode == 7) return 5;
    return 0;
}
} // namespace

const char *TeachColumnName(int mode, int column) {
    if (mode < 0 || mode > 7 || column < 0 || column > 6) return "";
    return kCalcModeLabels[mode].columns[column];
}

void InitPowerMode() {
    GetCtrlVal(parapanel, PARAP_EditPmode, &pmode);
    if (pmode == 0) {
        Dim(parapanel, PARAP_SlidePower, 0);
        Dim(parapanel, PARAP_EditDynWinLoHi__Lo, 1);
        Dim(parapanel, PARAP_EditDynWinLoHi__Hi, 1);
        Dim(parapanel, PARAP_EditIntlim, 0);
    } else if (pmode == 1) {
        Dim(parapanel, PARAP_SlidePower, 1);
        Dim(parapanel, PARAP_EditDynWinLoHi__Lo, 0);
        Dim(parapanel, PARAP_EditDynWinLoHi__Hi, 0);
        // The sensor tunes the power itself, so an intensity limit would cut
        // the evaluation off at a moving threshold.
        SetCtrlVal(parapanel, PARAP_EditIntlim, 0);
        Dim(parapanel, PARAP_EditIntlim, 1);
    }
}

void RestoreExtTriggers() {
    int items = 0;
    GetNumListItems(parapanel, PARAP_EditTrigger, &items);
    if (items >= 3) return;
    InsertListItem(parapanel, PARAP_EditTrigger, 2, "EXT1", 2);
    InsertListItem(parapanel, PARAP_EditTrigger, 3, "EXT2", 3);
    InsertListItem(parapanel, PARAP_EditTrigger, 4, "EXT3", 4);
    InsertListItem(parapanel, PARAP_EditTrigger, 5, "EXT4", 5);
}

void InitExteach() {
    GetCtrlVal(parapanel, PARAP_EditExteach, &exteach);
    if (exteach == 0) {
        RestoreExtTriggers();
        Dim(parapanel, PARAP_EditPmode, 0);
        Dim(parapanel, PARAP_SlidePower, 0);
        InitPowerMode();
        return;
    }
    if (exteach > 3) return;

    // External teach uses the trigger input: only CONT and SELF remain.
    GetCtrlVal(parapanel, PARAP_EditTrigger, &trigger);
    if (trigger > 1) SetCtrlVal(parapanel, PARAP_EditTrigger, 0);
    DeleteListItem(parapanel, PARAP_EditTrigger, 2, -1);

    if (exteach == 1) {
        Dim(parapanel, PARAP_EditPmode, 0);
        Dim(parapanel, PARAP_SlidePower, 0);
        InitPowerMode();
    } else {
        // STAT1 works at POWER; DYN1 adjusts the power once on the teach
        // input and needs the dynamic window for that. Both run static.
        const int dyn1 = exteach == 3;
        SetCtrlVal(parapanel, PARAP_EditPmode, 0);
        Dim(parapanel, PARAP_EditPmode, 1);
        Dim(parapanel, PARAP_SlidePower, dyn1);
        Dim(parapanel, PARAP_EditDynWinLoHi__Lo, !dyn1);
        Dim(parapanel, PARAP_EditDynWinLoHi__Hi, !dyn1);
    }
}

void InitTrigger() {
    GetCtrlVal(parapanel, PARAP_EditTrigger, &trigger);
    if (trigger == 0 || trigger == 1) {
        Dim(parapanel, PARAP_EditExteach, 0);
        Show(datapanel, DATAP_LedTrig, trigger == 1);
    } else if (trigger <= 5) {
        // An external trigger occupies the input that external teach needs.
        SetCtrlVal(parapanel, PARAP_EditExteach, 0);
        Dim(parapanel, PARAP_EditExteach, 1);
        Show(datapanel, DATAP_LedTrig, 1);
    }
}

void InitCalcMode() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    if (calcmode <= 7) {
        const CalcModeLabels &labels = kCalcModeLabels[calcmode];
        for (int c = 1; c <= 7; ++c)
            SetTableColumnAttribute(ttpanel, TTP_GridCtt, c, ATTR_LABEL_TEXT,
                                    QString::fromLatin1(labels.columns[c - 1]));
        ReplaceListItem(datapanel, DATAP_SelectSource, 1, labels.source1, 1);
        ReplaceListItem(datapanel, DATAP_SelectSource, 2, labels.source2, 2);
        ReplaceListItem(datapanel, DATAP_SelectSource, 4, labels.source4, 4);
        shownCalcmode = calcmode;
    }
    InitP3SidesPanel();
}

void InitEvalMode() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    GetCtrlVal(parapanel, PARAP_Evalmode, &evalmode);

    // Column 1 is never locked; its background is the table's normal one.
    int normalColor = 0xFFFFFF;
    GetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(1, 1), ATTR_TEXT_BGCOLOR, &normalColor);
    for (int c = 3; c <= 5; ++c) {
        SetTableColumnAttribute(ttpanel, TTP_GridCtt, c, ATTR_CELL_MODE, VAL_HOT);
        SetTableColumnAttribute(ttpanel, TTP_GridCtt, c, ATTR_TEXT_BGCOLOR, normalColor);
    }
    // In mode 2 the teach operations write the fixed tolerance 40 into the
    // vector-tolerance column; the operator sees it but cannot edit it.
    const int locked = evalmode == 2 ? VectorToleranceColumn(calcmode) : 0;
    if (locked != 0) {
        SetTableColumnAttribute(ttpanel, TTP_GridCtt, locked, ATTR_CELL_MODE, VAL_INDICATOR);
        SetTableColumnAttribute(ttpanel, TTP_GridCtt, locked, ATTR_TEXT_BGCOLOR,
                                kLockedColumnColor);
    }

    if (evalmode <= 2) {
        for (int lamp : kLampCtrls)
            Show(datapanel, lamp, 0);
        Show(datapanel, DATAP_DispCOL, 1);
        Dim(parapanel, PARAP_EditMaxcolNo, 0);
        Dim(parapanel, PARAP_EditOutmode, 0);
        Show(mainpanel, MAINP_ButtonColorGroups, 1);
    } else if (evalmode == 3) {
        // The vector number goes out binary on the five outputs: five rows,
        // no groups.
        Show(datapanel, DATAP_DispCOL, 0);
        for (int lamp : kLampCtrls)
            Show(datapanel, lamp, 1);
        HidePanel(grouppanel);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, 0);
        Show(datapanel, DATAP_DispGroup, 0);
        Show(mainpanel, MAINP_ButtonColorGroups, 0);
        SetCtrlVal(parapanel, PARAP_EditMaxcolNo, int(anzOut));
        Dim(parapanel, PARAP_EditMaxcolNo, 1);
        SetCtrlVal(parapanel, PARAP_EditOutmode, 1);
        Dim(parapanel, PARAP_EditOutmode, 1);
        InitMaxVecNo();
    }
    SetDispNames();
}

void SetDispNames() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);

    DeleteGraphPlot(datapanel, DATAP_GraphData1, -1, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(datapanel, DATAP_GraphData2, -1, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(datapanel, DATAP_GraphData2__IntBar, -1, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(datapanel, DATAP_GraphData2__GnBar, -1, VAL_IMMEDIATE_DRAW);
    DeleteProjectionPlots(VAL_IMMEDIATE_DRAW);

    const bool xy = calcmode % 2 == 0 && calcmode <= 6;
    SetCtrlAttribute(datapanel, DATAP_DispX, ATTR_LABEL_TEXT, xy ? "X" : "s");
    SetCtrlAttribute(datapanel, DATAP_DispY, ATTR_LABEL_TEXT, xy ? "Y" : "i");
    SetCtrlAttribute(datapanel, DATAP_DispINT, ATTR_LABEL_TEXT, xy ? "INT" : "M");
    SetCtrlAttribute(datapanel, DATAP_DispX, ATTR_TEXT_BGCOLOR, 0xFF0000);
    SetCtrlAttribute(datapanel, DATAP_DispX, ATTR_FRAME_COLOR, xy ? 0xE0E0E0 : 0x00FF00);
    SetCtrlAttribute(datapanel, DATAP_DispY, ATTR_TEXT_BGCOLOR, xy ? 0x00FF00 : 0xFFFF00);
    SetCtrlAttribute(datapanel, DATAP_DispY, ATTR_FRAME_COLOR, xy ? 0xE0E0E0 : 0x80FFFF);
    SetAxisScalingMode(datapanel, DATAP_GraphData1, VAL_XAXIS, VAL_MANUAL, 0, xy ? 4096 : 10000);
    SetAxisScalingMode(datapanel, DATAP_GraphData1, VAL_LEFT_YAXIS, VAL_MANUAL, 0,
                       xy ? 4096 : 4000);
}

// A committed change of the calculation mode rearranges the teach table for
// the new layout and sends the whole set to the sensor's RAM at once.
int CBF_Calcmode(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditCalcMode) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) {
        // The sensor is busy with another transfer: the panel keeps the mode
        // the table is laid out in.
        if (shownCalcmode >= 0) SetCtrlVal(parapanel, PARAP_Calcmode, shownCalcmode);
        return 0;
    }
    SetMemorySelector(RAM);
    // The sorting takes `calcmode` as the layout the cells are in now.
    if (shownCalcmode >= 0) calcmode = uint16_t(shownCalcmode);
    {
        TableUndoPoint undo(calcmode);
        SortTableTolerance();
    }
    NoteUnsentEdit();
    SendPara();
    // The labels follow the new mode whether or not the send got through;
    // a failed send has already been reported.
    InitCalcMode();
    InitEvalMode();
    InitTeachPanel();
    return 0;
}
