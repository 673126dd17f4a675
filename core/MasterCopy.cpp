// Reading and writing the master copies: the parameter panel, the group
// table and the teach table.
#include "core/MasterCopy.h"

#include "core/SensorData.h"
#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

const PanelParam kPanelParams[13] = {
    {PARAP_SlidePower, &power, "POWER"},
    {PARAP_EditPmode, &pmode, "PMODE"},
    {PARAP_EditAverage, &average, "AVERAGE"},
    {PARAP_Evalmode, &evalmode, "EVALMODE"},
    {PARAP_EditHold, &hold, "HOLD"},
    {PARAP_EditIntlim, &intlim, "INTLIM"},
    {PARAP_EditMaxcolNo, &maxcolno, "MAXCOL-No."},
    {PARAP_EditOutmode, &outmode, "OUTMODE"},
    {PARAP_EditTrigger, &trigger, "TRIGGER"},
    {PARAP_EditExteach, &exteach, "EXTEACH"},
    {PARAP_Calcmode, &calcmode, "CALCMODE"},
    {PARAP_EditDynWinLoHi__Lo, &dynwinlo, "DYN WIN LO"},
    {PARAP_EditDynWinLoHi__Hi, &dynwinhi, "DYN WIN HI"},
};

namespace {
void (*refreshAfterLoad)() = nullptr;
} // namespace

void GetPanelValues() {
    for (const PanelParam &p : kPanelParams)
        GetCtrlVal(parapanel, p.control, p.value);
    GetCtrlVal(grouppanel, PGROUP_EditColorGroups, &colorgroup);
    for (int n = 1; n <= anzVec; ++n) {
        GetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), &groupbuf[n - 1]);
        for (int c = 1; c <= 7; ++c)
            GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), &ctt[n - 1][c - 1]);
    }
}

void SetPanelValues() {
    for (const PanelParam &p : kPanelParams)
        SetCtrlVal(parapanel, p.control, int(*p.value));
    SetCtrlVal(grouppanel, PGROUP_EditColorGroups, int(colorgroup));
    for (int n = 1; n <= anzVec; ++n) {
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), int(groupbuf[n - 1]));
        for (int c = 1; c <= 7; ++c)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), int(ctt[n - 1][c - 1]));
    }
}

void SetRefreshAfterLoad(void (*refresh)()) {
    refreshAfterLoad = refresh;
}

void RefreshPanelsAfterLoad() {
    if (refreshAfterLoad) refreshAfterLoad();
}
